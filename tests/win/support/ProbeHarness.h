// What the probe and run/stop tests need around a real panel, beyond TestSupport.h and PanelDriver.h (where the
// status bar's sentences are): a status answer made, and a stop request taken apart. The system's wording for an error
// code is the panel's own SystemErrorText (SystemText.h).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tsm::test::probe {

inline constexpr char kStatusRequest[] = "GET /app?operation=ws HTTP/1.1\r\nHost: localhost\r\n\r\n";

// A complete answer whose body is one runningSince element holding since.
[[nodiscard]] std::string SinceAnswer(const std::string& since);

// The t and u of a stop request, cut out of the raw request bytes; nothing when the request line is not
// "GET /app?operation=ws&s=r&t=<t>&u=<u> HTTP/1.1" or the numbers are not plain signed decimal.
[[nodiscard]] std::optional<std::pair<std::int32_t, std::int32_t>> ParseStopRequest(std::string_view request);

} // namespace tsm::test::probe
