#include "config/ConfigLookup.h"

#include "win32/ComText.h"
#include "core/ConfigNumber.h"
#include "config/ComCheck.h"
#include "config/MsxmlUuids.h"
#include "core/ServerContract.h"
#include "config/XMLAdapter.h"

#include <stdexcept>

using Microsoft::WRL::ComPtr;

namespace tsm {
namespace {

constexpr char kNotExpectedFormat[] = "Config file is not in expected format";

// An attribute the element lacks is an error rather than an empty text: a parameter without its name or value is a
// broken file, and the probe must not go on as if the value had been blank.
[[nodiscard]] std::string ReadAttribute(IXMLDOMElement* element, const wchar_t* attribute) {
  const tsm::TBstr attributeName(attribute);
  tsm::TVariant value;
  Check(element->getAttribute(attributeName.Get(), value.Receive()), "Cannot read an attribute");
  if (value.Get().vt != VT_BSTR)
    throw std::runtime_error("Parameter element has no \"" + tsm::AnsiFromWide(attribute) + "\" attribute");
  return tsm::AnsiFromWide({value.Get().bstrVal, SysStringLen(value.Get().bstrVal)});
}

} // namespace

std::string GetConfigValue(const std::string& name, std::string& errorText) {
  const TXMLAdapter adapter(tsm::kConfigPath);
  if (!adapter.IsLoaded()) {
    errorText = adapter.GetErrorText();
    return {};
  }
  const ComPtr<IXMLDOMElement> parameters = adapter.FindElement(tsm::kParametersElement, tsm::kParametersDepth);
  if (!parameters) {
    errorText = kNotExpectedFormat;
    return {};
  }

  TElementChildren children(parameters.Get());
  while (const ComPtr<IXMLDOMElement> parameter = children.Next())
    if (ReadAttribute(parameter.Get(), L"name") == name) return ReadAttribute(parameter.Get(), L"value");
  return {};
}

std::optional<std::int32_t> ResolveHttpPort() {
  // The error texts only say why a lookup found nothing; the port resolution has no one to tell.
  std::string ignored;
  if (auto port = tsm::PortFromConfigText(GetConfigValue(tsm::kPortParameter, ignored))) return port;
  return tsm::PortFromConfigText(GetConfigValue(tsm::kFallbackPortParameter, ignored));
}

} // namespace tsm
