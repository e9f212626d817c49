// A small Win32 service for the tests to register, start, pause and stop under the real service manager.
//
// It reports RUNNING as soon as it starts and obeys STOP, PAUSE and CONTINUE. Each control is answered before the
// handler returns, so when ControlService comes back the new state (STOP_PENDING for a stop) is already reported:
// a test can tell from the state alone whether a control reached the service. Its command line (the binary path the
// service is registered with) may hold:
//   --start-delay MS   stay START_PENDING for MS milliseconds before RUNNING
//   --stop-delay MS    stay STOP_PENDING for MS milliseconds before STOPPED
//   --refuse-stop      run without accepting STOP, until the user control kAcceptStopControl
//   --exit CODE        exit at once with CODE, never talking to the service manager
// The user control kHoldStateControl + s (s one of 2, 4, 5, 6, 7) makes it report state s and hold it, so a test can
// show a pending state for as long as it likes; STOP is still accepted from there. Run from a console it exits with 1.
#include "win32/KernelHandle.h"
#include "support/TestServices.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <mutex>

namespace {

using tsm::test::kAcceptStopControl;
using tsm::test::kHoldStateControl;
constexpr DWORD kWaitHintMs = 30000;

struct Options {
  DWORD startDelayMs = 0;
  DWORD stopDelayMs = 0;
  std::atomic<bool> refuseStop = false; // read by the service thread, cleared by the handler
};

Options g_options;
tsm::UniqueHandle* g_stopRequested = nullptr;

std::mutex g_statusLock;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};

void Report(DWORD state) {
  const std::lock_guard lock(g_statusLock);
  const bool settled = state == SERVICE_RUNNING || state == SERVICE_PAUSED || state == SERVICE_STOPPED;
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  // Once stopping, nothing more is accepted; before that STOP is (unless refused), so a test can clean up from any
  // state.
  g_status.dwControlsAccepted = 0;
  if (state != SERVICE_STOP_PENDING && state != SERVICE_STOPPED) {
    g_status.dwControlsAccepted = SERVICE_ACCEPT_PAUSE_CONTINUE;
    if (!g_options.refuseStop) g_status.dwControlsAccepted |= SERVICE_ACCEPT_STOP;
  }
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
    if (g_options.refuseStop) return ERROR_INVALID_SERVICE_CONTROL;
    Report(SERVICE_STOP_PENDING);
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
  case kAcceptStopControl:
    g_options.refuseStop = false;
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
  if (g_options.startDelayMs) {
    Report(SERVICE_START_PENDING);
    if (WaitForSingleObject(g_stopRequested->Get(), g_options.startDelayMs) != WAIT_OBJECT_0) Report(SERVICE_RUNNING);
  } else {
    Report(SERVICE_RUNNING);
  }
  (void)WaitForSingleObject(g_stopRequested->Get(), INFINITE);
  if (g_options.stopDelayMs) Sleep(g_options.stopDelayMs);
  Report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--refuse-stop") {
      g_options.refuseStop = true;
      continue;
    }
    if (i + 1 == argc) break;
    const auto value = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    if (option == "--exit") return static_cast<int>(value);
    if (option == "--start-delay") g_options.startDelayMs = value;
    if (option == "--stop-delay") g_options.stopDelayMs = value;
  }
  tsm::UniqueHandle stopRequested(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!stopRequested.Get()) return 2;
  g_stopRequested = &stopRequested;

  char name[] = "";
  const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  // Outside the service manager this fails (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) and there is nothing to do.
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
