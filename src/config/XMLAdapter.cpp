#include "config/XMLAdapter.h"

#include "config/ComCheck.h"
#include "config/MsxmlUuids.h"
#include "core/EntityExpansion.h"
#include "core/XmlFaultLine.h"
#include "win32/ComText.h"

#include <shlwapi.h>

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace tsm {
namespace {

// By ProgID rather than by CLSID: this mingw-w64's msxml2.h maps CLSID_DOMDocument to ids its libuuid does not
// define. Version 6 where it is installed, else version 3, which every Windows since XP carries.
constexpr const wchar_t* kDocumentProgIds[] = {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"};

[[nodiscard]] HRESULT CreateDocument(ComPtr<IXMLDOMDocument>& document) {
  HRESULT hr = REGDB_E_CLASSNOTREG;
  for (const wchar_t* progId : kDocumentProgIds) {
    CLSID clsid;
    hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) continue;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument),
                          reinterpret_cast<void**>(document.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr)) return hr;
  }
  return hr;
}

// Configuration files are a few hundred bytes, and files of megabytes still load; past this it is no configuration.
constexpr ULONGLONG kMaxFileBytes = 64 * 1024 * 1024;
// Well past any configuration's nesting, and version 6's own default, which version 3 lacks.
constexpr LONG kMaxElementDepth = 256;
// What the file's entities may add up to, in characters: far more than a configuration's entities ever hold.
constexpr std::uint64_t kMaxEntityExpansion = 64 * 1024;

// A property only version 6, or only a newer build of version 3, may know: one it refuses is simply not set.
void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, VARIANT_BOOL value) {
  tsm::TVariant variant;
  variant.Get().vt = VT_BOOL;
  variant.Get().boolVal = value;
  (void)document->setProperty(tsm::TBstr(name).Get(), variant.Get());
}
void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, LONG value) {
  tsm::TVariant variant;
  variant.Get().vt = VT_I4;
  variant.Get().lVal = value;
  (void)document->setProperty(tsm::TBstr(name).Get(), variant.Get());
}

// The whole file, or why it is not handed to the parser at all. What the parser reads is these bytes, never the file
// again: others may write to it meanwhile, and a file changed after its check would be parsed unchecked.
[[nodiscard]] std::string CheckedBytes(IStream* file, std::string& refusal) {
  STATSTG about{};
  if (FAILED(file->Stat(&about, STATFLAG_NONAME))) {
    refusal = "Cannot read the file's size";
    return {};
  }
  if (about.cbSize.QuadPart > kMaxFileBytes) {
    refusal = "The file is larger than 65536 KB";
    return {};
  }
  // All of it: a reference anywhere in the file counts, and a few of them to a large entity make a vast document.
  std::string bytes(static_cast<std::size_t>(about.cbSize.QuadPart), '\0');
  ULONG read = 0;
  for (ULONG got = 1; got && read < bytes.size();) {
    got = 0;
    if (FAILED(file->Read(bytes.data() + read, static_cast<ULONG>(bytes.size() - read), &got))) break;
    read += got;
  }
  bytes.resize(read);
  // Entities are the one way a small file becomes a vast document, and nothing MSXML offers bounds them.
  const auto expansion = EntityExpansion(bytes, kMaxEntityExpansion);
  if (!expansion)
    refusal = "The file's entities or its encoding cannot be checked";
  else if (*expansion > kMaxEntityExpansion)
    refusal = "The file's entities expand too far";
  return bytes;
}

// A walk of the tree, with the depth counting down to the last level that may still be compared.
[[nodiscard]] ComPtr<IXMLDOMElement> FindChildElement(IXMLDOMNode* node, const std::wstring& name, int depth) {
  if (!node || depth <= 0) return nullptr;

  TElementChildren children(node);
  while (ComPtr<IXMLDOMElement> child = children.Next()) {
    tsm::TBstr childName;
    Check(child->get_nodeName(childName.Receive()), "Cannot read a node name");
    if (childName.View() == name) return child;
    if (auto found = FindChildElement(child.Get(), name, depth - 1)) return found;
  }
  return nullptr;
}

} // namespace

TElementChildren::TElementChildren(IXMLDOMNode* parent) {
  Check(parent->get_firstChild(next_.ReleaseAndGetAddressOf()), "Cannot read a first child node");
}

ComPtr<IXMLDOMElement> TElementChildren::Next() {
  while (next_) {
    const ComPtr<IXMLDOMNode> node = std::move(next_);
    Check(node->get_nextSibling(next_.ReleaseAndGetAddressOf()), "Cannot read a sibling node");
    DOMNodeType type = NODE_INVALID;
    Check(node->get_nodeType(&type), "Cannot read a node type");
    if (type != NODE_ELEMENT) continue;
    ComPtr<IXMLDOMElement> element;
    Check(node.As(&element), "Element without an element interface");
    return element;
  }
  return nullptr;
}

TXMLAdapter::TXMLAdapter(const std::string& fileName) : FileName(fileName) {
  try {
    Load();
  } catch (const std::exception& e) {
    Document.Reset();
    Loaded = false;
    Failure = XmlLoadFailure::NotRead;
    ErrorText = e.what();
  }
}

void TXMLAdapter::Load() {
  Check(CreateDocument(Document), "Cannot create an XML document");
  Check(Document->put_async(VARIANT_FALSE), "Cannot switch the XML document to synchronous loading");
  // Only well-formedness matters: a document type the file declares is neither enforced nor fetched, and version 6
  // must be told to accept one at all.
  Check(Document->put_validateOnParse(VARIANT_FALSE), "Cannot switch off XML validation");
  Check(Document->put_resolveExternals(VARIANT_FALSE), "Cannot switch off XML external resolution");
  if (ComPtr<IXMLDOMDocument2> document2; SUCCEEDED(Document.As(&document2))) {
    SetProperty(document2.Get(), L"ProhibitDTD", VARIANT_FALSE); // version 3 knows no such property, nor needs it
    // Bounds on what the parser reads: the file's size in blocks of 1024 characters, and the depth of elements,
    // where an entity counts as a level. Neither bounds what entities expand to (an entity counts once towards the
    // size, however often it is used); the reading of the file's entities below does.
    SetProperty(document2.Get(), L"MaxXMLSize", static_cast<LONG>(kMaxFileBytes / 1024));
    SetProperty(document2.Get(), L"MaxElementDepth", kMaxElementDepth);
  }

  // The file is opened here, never handed to the parser by its name: MSXML reads a name as a URL, so a folder called
  // "work #1%20x" would lose everything from the '#' on and have its "%20" read as a blank. The file system resolves
  // a relative name against the working folder, which is where the file is meant to be. Others may go on reading and
  // writing it meanwhile; a program that holds it locked fails the load until it lets go.
  ComPtr<IStream> file;
  const HRESULT opened =
      SHCreateStreamOnFileW(tsm::WideFromUtf8(FileName).c_str(), STGM_READ | STGM_SHARE_DENY_NONE, file.GetAddressOf());
  if (FAILED(opened)) {
    const bool missing = opened == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
                         opened == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    Failure = missing ? XmlLoadFailure::NoFile : XmlLoadFailure::NotRead;
    ErrorText = ComErrorText(opened);
    return;
  }
  std::string refusal;
  std::string bytes = CheckedBytes(file.Get(), refusal);
  file.Reset(); // closed: the parser reads the copy
  if (!refusal.empty()) {
    Failure = XmlLoadFailure::Refused;
    ErrorText = refusal;
    return;
  }
  tsm::TVariant source;
  source.Get().vt = VT_UNKNOWN;
  // A stream of its own copy of the bytes; the variant's clearing releases it.
  source.Get().punkVal =
      SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  // The bytes stay for a failure, whose line a look at their structure may have to find.
  if (!source.Get().punkVal) {
    source.Get().vt = VT_EMPTY;
    Failure = XmlLoadFailure::NotRead;
    ErrorText = ComErrorText(E_OUTOFMEMORY);
    return;
  }
  VARIANT_BOOL success = VARIANT_FALSE;
  const HRESULT hr = Document->load(source.Get(), &success);
  if (SUCCEEDED(hr) && success == VARIANT_TRUE) {
    Loaded = true;
    return;
  }

  // The parser's own reason, as it words it; a failure that left none still needs some text.
  ComPtr<IXMLDOMParseError> parseError;
  tsm::TBstr reason;
  long line = 0;
  if (SUCCEEDED(Document->get_parseError(&parseError)) && parseError) {
    (void)parseError->get_reason(reason.Receive());
    if (FAILED(parseError->get_line(&line))) line = 0;
  }
  ErrorText = tsm::AnsiFromWide(reason.View());
  if (ErrorText.empty()) ErrorText = ComErrorText(FAILED(hr) ? hr : E_FAIL);
  // Wine's reader says no more than "error", whatever the fault and wherever it lies: the line then comes from a
  // look at the file's structure, and is 0 when that finds no fault either.
  Failure = XmlLoadFailure::Malformed;
  ErrorLine = line > 0 ? static_cast<int>(line) : XmlFaultLine(bytes);
  Loaded = false;
}

ComPtr<IXMLDOMElement> TXMLAdapter::FindElement(const std::string& name, int depth) const {
  if (!Loaded || !Document || depth <= 0) return nullptr;
  ComPtr<IXMLDOMElement> root;
  Check(Document->get_documentElement(&root), "Cannot read the root element");
  return FindChildElement(root.Get(), tsm::WideFromAnsi(name), depth);
}

} // namespace tsm
