#include "ServerRun.h"

#include "ComInit.h"
#include "ConfigLookup.h"
#include "ServerContract.h"
#include "StandInServer.h"

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
    return ResolveHttpPort(nullptr);
  } catch (const std::runtime_error& e) {
    Complain(std::string(kConfigPath) + ": " + e.what());
    return std::nullopt;
  }
}

} // namespace

int RunServer(HANDLE stopEvent, const std::function<void(std::int32_t port, const std::string& since)>& onListening) {
  const auto since = NowText();
  const auto port = ReadPort();
  if (!port || *port <= 0 || *port > 65535) {
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

std::string ExecutableFolder() {
  std::string path(MAX_PATH, '\0');
  while (true) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) throw std::runtime_error("cannot find the executable's path");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2); // truncated: try again with more room
  }
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace tsm::standin
