#include "ServerRun.h"

#include "win32/ComInit.h"
#include "config/ConfigLookup.h"
#include "core/ServerContract.h"
#include "StandInServer.h"
#include "win32/Socket.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

namespace tsm::standin {

namespace {

// The local time as "2026-12-08 16:40:05": what the server reports as the time it started.
std::string NowText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  return text;
}

void Complain(const std::string& what) {
  std::fprintf(stderr, "TorvaleServer: %s\n", what.c_str());
  std::fflush(stderr);
}

// The port as the panel would resolve it; nothing when there is none. A malformed parameter list (the lookup
// throws) counts as no port, as it does for the panel.
std::optional<std::int32_t> ReadPort() {
  const TComInit com;
  if (!com.Succeeded()) throw std::runtime_error("COM did not start");
  try {
    return ResolveHttpPort();
  } catch (const std::runtime_error& e) {
    Complain(std::string(kConfigPath) + ": " + e.what());
    return std::nullopt;
  }
}

} // namespace

int RunServer(HANDLE stopEvent, const std::function<void(std::int32_t port, const std::string& since)>& onListening) {
  const auto since = NowText();
  const auto port = ReadPort();
  if (!port) {
    Complain(std::string("no usable HTTP port in ") + kConfigPath);
    return kExitNoPort;
  }

  const WinsockSession winsock;
  std::optional<StandInServer> server;
  try {
    server.emplace(static_cast<std::uint16_t>(*port), since, stopEvent);
  } catch (const std::runtime_error& e) {
    Complain(e.what());
    return kExitCannotListen;
  }
  onListening(*port, since);
  server->Run();
  return kExitStopped;
}

} // namespace tsm::standin
