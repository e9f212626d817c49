#include "config/ConfigLookup.h"

#include "win32/ComText.h"
#include "core/ConfigNumber.h"
#include "config/ComCheck.h"
#include "config/MsxmlUuids.h"
#include "core/ServerContract.h"
#include "config/XMLAdapter.h"

#include <stdexcept>
#include <variant>

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

// The value of the first parameter child named `name`, or nothing when no child has that name.
[[nodiscard]] std::optional<std::string> ValueIn(IXMLDOMElement* parameters, const std::string& name) {
  TElementChildren children(parameters);
  while (const ComPtr<IXMLDOMElement> parameter = children.Next())
    if (ReadAttribute(parameter.Get(), L"name") == name) return ReadAttribute(parameter.Get(), L"value");
  return std::nullopt;
}

[[nodiscard]] ProbeOutcome OutcomeOf(XmlLoadFailure failure) {
  switch (failure) {
  case XmlLoadFailure::NoFile:
    return ProbeOutcome::NoConfigFile;
  case XmlLoadFailure::Refused:
    return ProbeOutcome::ConfigRefused;
  case XmlLoadFailure::Malformed:
    return ProbeOutcome::ConfigMalformed;
  case XmlLoadFailure::None:
  case XmlLoadFailure::NotRead:
    break;
  }
  return ProbeOutcome::ConfigUnreadable;
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
  return ValueIn(parameters.Get(), name).value_or("");
}

std::variant<std::int32_t, NoPortReason> ReadHttpPort() {
  const TXMLAdapter adapter(tsm::kConfigPath);
  if (!adapter.IsLoaded())
    return NoPortReason{OutcomeOf(adapter.GetFailure()), adapter.GetErrorText(), adapter.GetErrorLine(), {}};
  const ComPtr<IXMLDOMElement> parameters = adapter.FindElement(tsm::kParametersElement, tsm::kParametersDepth);
  if (!parameters) return NoPortReason{ProbeOutcome::NoPortParameter, kNotExpectedFormat, 0, {}};

  // httpPort2, else httpPort. With neither a port, the value the file does hold is what the user must mend: the
  // fallback's, which is the one read last, else the preferred one's.
  const std::optional<std::string> preferred = ValueIn(parameters.Get(), kPortParameter);
  if (preferred)
    if (const auto port = PortFromConfigText(*preferred)) return *port;
  const std::optional<std::string> fallback = ValueIn(parameters.Get(), kFallbackPortParameter);
  if (fallback) {
    if (const auto port = PortFromConfigText(*fallback)) return *port;
    return NoPortReason{ProbeOutcome::NotAPort, *fallback, 0, kFallbackPortParameter};
  }
  if (preferred) return NoPortReason{ProbeOutcome::NotAPort, *preferred, 0, kPortParameter};
  return NoPortReason{ProbeOutcome::NoPortParameter, {}, 0, {}};
}

std::optional<std::int32_t> ResolveHttpPort() {
  const auto found = ReadHttpPort();
  if (const auto* port = std::get_if<std::int32_t>(&found)) return *port;
  return std::nullopt;
}

} // namespace tsm
