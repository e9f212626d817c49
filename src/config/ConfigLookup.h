// Named parameters and the HTTP port, read from the server's configuration file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "core/StatusBarText.h"

namespace tsm {

// The value attribute of the first child of the configuration's "parameters" element whose name attribute equals
// name byte for byte, or "" when there is none. The file is tsm::kConfigPath below the working folder and is loaded
// afresh on every call. errorText is written only when the file does not load (the parser's message) or has no
// "parameters" element within reach; otherwise it is left alone. A parameter child without a name attribute ahead of
// the match, or the match without a value attribute, throws std::runtime_error. COM must be initialised on the calling
// thread.
[[nodiscard]] std::string GetConfigValue(const std::string& name, std::string& errorText);

// The server's HTTP port: httpPort2, else httpPort, each counting only if it is a number from 1 to 65535; else why
// there is none: no file, one that cannot be read (the system's words), one that is not well-formed (the reader's
// words and the line), one refused unread, no port parameter, or a value that is no port (the fallback's when it
// has one). The file is loaded once. A broken parameter throws std::runtime_error as GetConfigValue does, and the
// fallback is then not looked at.
[[nodiscard]] std::variant<std::int32_t, NoPortReason> ReadHttpPort();

// The port of ReadHttpPort, or nothing.
[[nodiscard]] std::optional<std::int32_t> ResolveHttpPort();

} // namespace tsm
