// One XML file loaded into MSXML's document tree, and a depth-limited search for an element in it.
#pragma once

#include "config/MsxmlUuids.h"

#include <windows.h>
#include <msxml2.h>
#include <wrl/client.h>

#include <string>

namespace tsm {

// The element children of a node in document order, walked from sibling to sibling. Indexing the child list
// instead costs a walk from the first child per item in some DOMs (Wine's), which turns a wide file quadratic.
class TElementChildren {
public:
  explicit TElementChildren(IXMLDOMNode* parent);
  // The next element child, or null after the last one. Throws std::runtime_error if the DOM fails.
  [[nodiscard]] Microsoft::WRL::ComPtr<IXMLDOMElement> Next();

private:
  Microsoft::WRL::ComPtr<IXMLDOMNode> next_;
};

// Why a file did not load.
enum class XmlLoadFailure {
  None,      // it loaded
  NoFile,    // nothing at the path (neither the file nor its folder)
  NotRead,   // there, but it cannot be opened or read, or the reader itself could not be made
  Refused,   // too large, or entities that expand too far: never handed to the parser
  Malformed, // the parser found it not well-formed
};

// Loads the file at construction and keeps the outcome. The document lives as long as the adapter, and elements
// handed out by FindElement are counted references into it. COM must be initialised on the thread that makes, uses
// and destroys the adapter.
class TXMLAdapter {
public:
  // fileName is a path in UTF-8, relative to the working folder or absolute. Never throws: a file that cannot be
  // opened leaves IsLoaded() false and the system's words for why in GetErrorText(), one that cannot be parsed the
  // parser's message.
  explicit TXMLAdapter(const std::string& fileName);

  TXMLAdapter(const TXMLAdapter&) = delete;
  TXMLAdapter& operator=(const TXMLAdapter&) = delete;
  TXMLAdapter(TXMLAdapter&&) noexcept = default;
  TXMLAdapter& operator=(TXMLAdapter&&) noexcept = default;
  ~TXMLAdapter() = default;

  [[nodiscard]] bool IsLoaded() const { return Loaded; }
  [[nodiscard]] const std::string& GetErrorText() const { return ErrorText; }
  [[nodiscard]] XmlLoadFailure GetFailure() const { return Failure; }
  // Malformed: the line at fault, counted from 1, as the parser says or else as the file's structure shows; 0 when
  // neither can tell.
  [[nodiscard]] int GetErrorLine() const { return ErrorLine; }

  // The first element in pre-order whose qualified node name is exactly name, searching at most depth levels below
  // the root element; the root itself is never compared. Null when there is none, when depth <= 0, or when the file
  // did not load. Throws std::runtime_error if MSXML fails half-way through the walk.
  [[nodiscard]] Microsoft::WRL::ComPtr<IXMLDOMElement> FindElement(const std::string& name, int depth) const;

  [[nodiscard]] const std::string& GetFileName() const { return FileName; }

private:
  void Load();

  std::string FileName; // as passed
  std::string ErrorText;
  XmlLoadFailure Failure = XmlLoadFailure::None;
  int ErrorLine = 0;
  bool Loaded = false;
  Microsoft::WRL::ComPtr<IXMLDOMDocument> Document;
};

} // namespace tsm
