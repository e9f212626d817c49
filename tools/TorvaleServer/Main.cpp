// TorvaleServer: a stand-in for the Torvale server, so that the panel can be tried and tested without it. It answers
// the status request with the time it started and stops for a stop request whose token checks out. It runs as the
// service "Torvale" when the service manager starts it, and as a plain application otherwise.

#include "win32/KernelHandle.h"
#include "core/ServerContract.h"
#include "ServerRun.h"
#include "ServiceHost.h"

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>

namespace {

using namespace tsm::standin;
using tsm::UniqueHandle;

// Ctrl+C and closing the console stop the application the way a stop request does. The handler runs on a thread of
// its own, so it reaches the event through an atomic, which is cleared before the event is closed.
std::atomic<HANDLE> consoleStopEvent{nullptr};

BOOL WINAPI ConsoleHandler(DWORD) {
  const HANDLE event = consoleStopEvent.load();
  if (!event) return FALSE;
  (void)SetEvent(event);
  return TRUE;
}

class ConsoleStopScope {
public:
  explicit ConsoleStopScope(HANDLE stopEvent) {
    consoleStopEvent.store(stopEvent);
    installed_ = SetConsoleCtrlHandler(ConsoleHandler, TRUE) != FALSE;
  }
  ~ConsoleStopScope() {
    if (installed_) (void)SetConsoleCtrlHandler(ConsoleHandler, FALSE);
    consoleStopEvent.store(nullptr);
  }
  ConsoleStopScope(const ConsoleStopScope&) = delete;
  ConsoleStopScope& operator=(const ConsoleStopScope&) = delete;

private:
  bool installed_ = false;
};

// Whether the service manager may have started this process. It starts services from services.exe, so a parent that
// is anything else, or none, means an application; with services.exe as the parent, or no list of processes to go
// by, the dispatcher decides. This spares applications a wait under Wine, whose dispatcher in a process the manager
// did not start waits ten seconds on the control pipe of whichever service started last before it gives up.
bool MayBeService() {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return true;

  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  if (parent == 0) return false;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == parent) return lstrcmpiA(entry.szExeFile, "services.exe") == 0;
  }
  return false;
}

int RunAsApplication() {
  const UniqueHandle stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!stopEvent) return kExitFailed;
  const ConsoleStopScope console(stopEvent.Get());
  const int exitCode = RunServer(stopEvent.Get(), [](std::int32_t port, const std::string& since) {
    std::printf("Torvale stand-in server listening on port %d, running since %s\n", static_cast<int>(port),
                since.c_str());
    std::fflush(stdout);
  });
  if (exitCode == kExitStopped) std::printf("Torvale stand-in server stopped\n");
  return exitCode;
}

} // namespace

int main() {
  try {
    if (!MayBeService()) return RunAsApplication();

    // The dispatcher fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the service manager did not start this
    // process; that is the sign to run as an application.
    std::string serviceName = tsm::kServiceName; // the table wants a writable string
    SERVICE_TABLE_ENTRYA services[] = {{serviceName.data(), tsm::standin::ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(services)) return kExitStopped;
    const DWORD error = GetLastError();
    if (error != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      std::fprintf(stderr, "TorvaleServer: the service dispatcher failed (error %lu)\n", error);
      return kExitNotAService;
    }
    return RunAsApplication();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "TorvaleServer: %s\n", e.what());
    return kExitFailed;
  }
}
