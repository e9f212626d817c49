// Named parameters and the HTTP port, read from the server's configuration file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tsm {

// The value attribute of the first child of the configuration's "parameters" element whose name attribute equals
// name byte for byte, or "" when there is none. The file is tsm::kConfigPath below the working folder and is loaded
// afresh on every call. errorText is written only when the file does not load (the parser's message) or has no
// "parameters" element within reach; otherwise it is left alone. A parameter child without a name attribute ahead of
// the match, or the match without a value attribute, throws std::runtime_error. COM must be initialised on the calling
// thread.
[[nodiscard]] std::string GetConfigValue(const std::string& name, std::string& errorText);

// The server's HTTP port: httpPort2, else httpPort, each counting only if it is a number from 1 to 65535. Nothing
// when neither is. An exception from the first lookup propagates, and the fallback is then not tried.
[[nodiscard]] std::optional<std::int32_t> ResolveHttpPort();

} // namespace tsm
