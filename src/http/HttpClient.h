// One HTTP GET to the server on the local machine.
#pragma once

#include "core/HttpExchange.h"

#include <cstdint>
#include <string>

namespace tsm {

// Connects to host (looked up with gethostbyname; only its first IPv4 address is tried) on the low 16 bits of port,
// sends the request for path and collects the answer, status line and headers included, until the server closes,
// falls silent for 2000 ms, or 2000 reads of up to 1024 bytes have been made. True with everything received
// (possibly nothing) once the request went out; false with an empty response when there was no connection or any
// socket error occurred. Each call has its own connection, so any thread may call it at any time; it blocks for the
// length of the exchange, and for no more than boundMs from the call on, however slowly the server sends (what came
// by then is the answer).
[[nodiscard]] bool HttpGet(const std::string& host, const std::string& path, std::int32_t port, std::string& response,
                           std::int64_t boundMs = kNoExchangeBound);

} // namespace tsm
