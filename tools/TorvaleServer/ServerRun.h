// One run of the stand-in server, the same whether it runs as an application or as the service.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace tsm::standin {

// The process's exit code (or, as a service, its service-specific exit code).
enum ExitCode : int {
  kExitStopped = 0,      // stopped on request
  kExitNoPort = 2,       // config\AppConfig.xml gave no usable HTTP port
  kExitCannotListen = 3, // the port could not be had
  kExitFailed = 4,       // anything else
  kExitNotAService = 5,  // the service dispatcher failed for a reason other than being run from a console
};

// Reads the port from config\AppConfig.xml below the working folder, the same way the panel does, listens on it
// and serves until stopEvent is set, by the caller or by a valid stop request. onListening is told the port and the
// start time once connections are being accepted. Failures are written to stderr and become the exit code.
[[nodiscard]] int RunServer(HANDLE stopEvent,
                            const std::function<void(std::int32_t port, const std::string& since)>& onListening);

} // namespace tsm::standin
