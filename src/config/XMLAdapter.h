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

  // The first element in pre-order whose qualified node name is exactly name, searching at most depth levels below
  // the root element; the root itself is never compared. Null when there is none, when depth <= 0, or when the file
  // did not load. Throws std::runtime_error if MSXML fails half-way through the walk.
  [[nodiscard]] Microsoft::WRL::ComPtr<IXMLDOMElement> FindElement(const std::string& name, int depth) const;

  [[nodiscard]] const std::string& GetFileName() const { return FileName; }

private:
  void Load();

  std::string FileName; // as passed
  std::string ErrorText;
  bool Loaded = false;
  Microsoft::WRL::ComPtr<IXMLDOMDocument> Document;
};

} // namespace tsm
