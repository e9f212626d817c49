#include "service/ServiceInfo.h"

#include "core/ServiceErrorText.h"

namespace tsm {
namespace {

[[nodiscard]] std::int32_t LastError() { return static_cast<std::int32_t>(GetLastError()); }

} // namespace

TServiceInfo::TServiceInfo() : ManagerHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)) {
  if (!ManagerHandle) ErrorCode = LastError();
}

ServiceHandle TServiceInfo::OpenQueried(const std::string& name, DWORD access, SERVICE_STATUS& status) {
  ServiceHandle service(OpenServiceA(ManagerHandle.Get(), name.c_str(), access));
  if (QueryServiceStatus(service.Get(), &status)) return service;
  // The code is read after the close: for a service that does not exist the handle is null and the close itself
  // leaves ERROR_INVALID_HANDLE, which is the sentence the caller is meant to get.
  CloseEvenIfNull(service);
  ErrorCode = LastError();
  return {};
}

int TServiceInfo::GetState(const std::string& name) {
  SERVICE_STATUS status{};
  if (!OpenQueried(name, SERVICE_QUERY_STATUS, status)) {
    ErrorText = QueryErrorText(ErrorCode);
    return 0;
  }
  return static_cast<int>(status.dwCurrentState);
}

bool TServiceInfo::Start(const std::string& name) {
  SERVICE_STATUS status{};
  ServiceHandle service = OpenQueried(name, SERVICE_QUERY_STATUS | SERVICE_START, status);
  if (!service) return false;
  if (status.dwCurrentState == SERVICE_RUNNING) {
    ErrorText = "Service is already running";
    return false;
  }
  if (StartServiceA(service.Get(), 0, nullptr)) return true;
  CloseEvenIfNull(service);
  ErrorCode = LastError();
  ErrorText = StartErrorText(ErrorCode);
  return false;
}

bool TServiceInfo::Stop(const std::string& name) {
  SERVICE_STATUS status{};
  ServiceHandle service = OpenQueried(name, SERVICE_QUERY_STATUS | SERVICE_STOP, status);
  if (!service) return false;
  // Starting, stopping and paused services are left alone: only a running one is sent the control.
  if (status.dwCurrentState != SERVICE_RUNNING) return false;
  if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return true;
  // Here the code is read before the close, so nothing the close does can touch it.
  ErrorCode = LastError();
  CloseEvenIfNull(service);
  ErrorText = StopErrorText(ErrorCode);
  return false;
}

} // namespace tsm
