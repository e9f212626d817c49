#include "config/XMLAdapter.h"

#include "config/ComCheck.h"
#include "config/MsxmlUuids.h"
#include "win32/ComText.h"

#include <shlwapi.h>

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

TXMLAdapter::TXMLAdapter(HWND owner, const std::string& fileName) : Owner(owner), FileName(fileName) {
  try {
    Load();
  } catch (const std::exception& e) {
    Document.Reset();
    Loaded = false;
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
    tsm::TVariant no;
    no.Get().vt = VT_BOOL;
    no.Get().boolVal = VARIANT_FALSE;
    const tsm::TBstr property(L"ProhibitDTD");
    (void)document2->setProperty(property.Get(), no.Get()); // version 3 knows no such property, nor needs it
  }

  // The file goes to the parser as a stream that we open, never as its name: MSXML reads a name as a URL, so a
  // folder called "work #1%20x" would lose everything from the '#' on and have its "%20" read as a blank. The file
  // system resolves a relative name against the working folder, which is where the file is meant to be. Others may
  // go on reading and writing it meanwhile; a program that holds it locked fails the load until it lets go.
  ComPtr<IStream> file;
  const HRESULT opened =
      SHCreateStreamOnFileW(tsm::WideFromUtf8(FileName).c_str(), STGM_READ | STGM_SHARE_DENY_NONE, file.GetAddressOf());
  if (FAILED(opened)) {
    ErrorText = ComErrorText(opened);
    return;
  }
  tsm::TVariant source;
  source.Get().vt = VT_UNKNOWN;
  source.Get().punkVal = file.Detach(); // the variant's clearing releases it, and so closes the file
  VARIANT_BOOL success = VARIANT_FALSE;
  const HRESULT hr = Document->load(source.Get(), &success);
  if (SUCCEEDED(hr) && success == VARIANT_TRUE) {
    Loaded = true;
    return;
  }

  // The parser's own reason, as it words it; a failure that left none still needs some text.
  ComPtr<IXMLDOMParseError> parseError;
  tsm::TBstr reason;
  if (SUCCEEDED(Document->get_parseError(&parseError)) && parseError) (void)parseError->get_reason(reason.Receive());
  ErrorText = tsm::AnsiFromWide(reason.View());
  if (ErrorText.empty()) ErrorText = ComErrorText(FAILED(hr) ? hr : E_FAIL);
  Loaded = false;
}

ComPtr<IXMLDOMElement> TXMLAdapter::FindElement(const std::string& name, int depth) const {
  if (!Loaded || !Document || depth <= 0) return nullptr;
  ComPtr<IXMLDOMElement> root;
  Check(Document->get_documentElement(&root), "Cannot read the root element");
  return FindChildElement(root.Get(), tsm::WideFromAnsi(name), depth);
}

} // namespace tsm
