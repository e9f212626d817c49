#include "ServiceHost.h"

#include "win32/ExecutableFolder.h"
#include "win32/KernelHandle.h"
#include "core/ServerContract.h"
#include "ServerRun.h"

#include <mutex>

namespace tsm::standin {

namespace {

// What the control handler shares with ServiceMain. It lives for the whole process: the dispatcher may call the
// handler on its own thread until StartServiceCtrlDispatcher returns, which is after ServiceMain has gone.
class ServiceState {
public:
  [[nodiscard]] bool Begin(LPHANDLER_FUNCTION_EX handler) {
    stopEvent_ = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_) return false;
    handle_ = RegisterServiceCtrlHandlerExA(kServiceName, handler, this);
    return handle_ != nullptr;
  }

  // Reports a state; once STOPPED has been reported nothing more is, since a late STOP_PENDING from the handler
  // would otherwise leave the service manager waiting for a process that has gone.
  void Report(DWORD state, DWORD waitHint = 0, int exitCode = kExitStopped) {
    const std::lock_guard lock(mutex_);
    if (!handle_ || status_.dwCurrentState == SERVICE_STOPPED) return;
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = state;
    status_.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status_.dwWin32ExitCode = exitCode == kExitStopped ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status_.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    status_.dwWaitHint = waitHint;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status_.dwCheckPoint = pending ? ++checkPoint_ : 0;
    (void)SetServiceStatus(handle_, &status_);
  }

  void RequestStop() {
    Report(SERVICE_STOP_PENDING, 5000);
    (void)SetEvent(stopEvent_.Get());
  }

  [[nodiscard]] HANDLE StopEvent() const { return stopEvent_.Get(); }

private:
  std::mutex mutex_;
  SERVICE_STATUS_HANDLE handle_ = nullptr; // not to be closed
  SERVICE_STATUS status_{};
  DWORD checkPoint_ = 0;
  UniqueHandle stopEvent_;
};

ServiceState service;

DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID context) {
  auto* const state = static_cast<ServiceState*>(context);
  switch (control) {
  case SERVICE_CONTROL_STOP:
  case SERVICE_CONTROL_SHUTDOWN:
    state->RequestStop();
    return NO_ERROR;
  case SERVICE_CONTROL_INTERROGATE:
    return NO_ERROR;
  default:
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

} // namespace

void WINAPI ServiceMain(DWORD, LPSTR*) {
  if (!service.Begin(ControlHandler)) return;
  service.Report(SERVICE_START_PENDING, 10000);
  int exitCode = kExitFailed;
  try {
    if (SetCurrentDirectoryW(WideFromUtf8(ExecutableFolder()).c_str()))
      exitCode =
          RunServer(service.StopEvent(), [](std::int32_t, const std::string&) { service.Report(SERVICE_RUNNING); });
  } catch (const std::exception&) {
    exitCode = kExitFailed;
  }
  service.Report(SERVICE_STOPPED, 0, exitCode);
}

} // namespace tsm::standin
