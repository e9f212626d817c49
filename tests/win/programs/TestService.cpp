// A small Win32 service for the tests to register, start, pause and stop under the real service manager.
//
// It reports RUNNING as soon as it starts and obeys STOP, PAUSE and CONTINUE. Its command line (the binary path the
// service is registered with) may hold:
//   --start-delay MS   stay START_PENDING for MS milliseconds before RUNNING
//   --stop-delay MS    stay STOP_PENDING for MS milliseconds before STOPPED
// and the user control 128 + s (s one of 2, 4, 5, 6, 7) makes it report state s and hold it, so a test can show a
// pending state for as long as it likes; STOP is still accepted from there. Run from a console it exits with 1.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

class EventHandle {
public:
  EventHandle() noexcept : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~EventHandle() {
    if (handle_) CloseHandle(handle_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  EventHandle(EventHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  EventHandle& operator=(EventHandle&&) = delete;

  [[nodiscard]] HANDLE Get() const noexcept { return handle_; }

private:
  HANDLE handle_;
};

constexpr DWORD kHoldStateControl = 128;
constexpr DWORD kWaitHintMs = 30000;

DWORD g_startDelayMs = 0;
DWORD g_stopDelayMs = 0;
EventHandle* g_stopRequested = nullptr;

std::mutex g_statusLock;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};

void Report(DWORD state) {
  const std::lock_guard lock(g_statusLock);
  const bool settled = state == SERVICE_RUNNING || state == SERVICE_PAUSED || state == SERVICE_STOPPED;
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  // Once stopping, nothing more is accepted; before that STOP always is, so a test can clean up from any state.
  g_status.dwControlsAccepted = state == SERVICE_STOP_PENDING || state == SERVICE_STOPPED
                                    ? 0
                                    : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
  g_status.dwWin32ExitCode = NO_ERROR;
  g_status.dwCheckPoint = settled ? 0 : g_status.dwCheckPoint + 1;
  g_status.dwWaitHint = settled ? 0 : kWaitHintMs;
  (void)SetServiceStatus(g_statusHandle, &g_status);
}

DWORD CurrentState() {
  const std::lock_guard lock(g_statusLock);
  return g_status.dwCurrentState;
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  switch (control) {
  case SERVICE_CONTROL_STOP:
    SetEvent(g_stopRequested->Get());
    return NO_ERROR;
  case SERVICE_CONTROL_PAUSE:
    Report(SERVICE_PAUSE_PENDING);
    Report(SERVICE_PAUSED);
    return NO_ERROR;
  case SERVICE_CONTROL_CONTINUE:
    Report(SERVICE_CONTINUE_PENDING);
    Report(SERVICE_RUNNING);
    return NO_ERROR;
  case SERVICE_CONTROL_INTERROGATE:
    Report(CurrentState());
    return NO_ERROR;
  default:
    break;
  }
  switch (const DWORD state = control - kHoldStateControl) {
  case SERVICE_START_PENDING:
  case SERVICE_RUNNING:
  case SERVICE_CONTINUE_PENDING:
  case SERVICE_PAUSE_PENDING:
  case SERVICE_PAUSED:
    Report(state);
    return NO_ERROR;
  default:
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, char**) {
  g_statusHandle = RegisterServiceCtrlHandlerExA("", Handler, nullptr);
  if (!g_statusHandle) return;
  if (g_startDelayMs) {
    Report(SERVICE_START_PENDING);
    if (WaitForSingleObject(g_stopRequested->Get(), g_startDelayMs) != WAIT_OBJECT_0) Report(SERVICE_RUNNING);
  } else {
    Report(SERVICE_RUNNING);
  }
  (void)WaitForSingleObject(g_stopRequested->Get(), INFINITE);
  Report(SERVICE_STOP_PENDING);
  if (g_stopDelayMs) Sleep(g_stopDelayMs);
  Report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const auto value = static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 10));
    if (std::strcmp(argv[i], "--start-delay") == 0)
      g_startDelayMs = value;
    else if (std::strcmp(argv[i], "--stop-delay") == 0)
      g_stopDelayMs = value;
  }
  EventHandle stopRequested;
  if (!stopRequested.Get()) return 2;
  g_stopRequested = &stopRequested;

  char name[] = "";
  const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  // Outside the service manager this fails (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) and there is nothing to do.
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
