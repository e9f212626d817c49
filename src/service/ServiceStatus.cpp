#include "service/ServiceStatus.h"

#include "core/ServiceErrorText.h"

namespace tsm {
namespace {

[[nodiscard]] std::int32_t LastError() { return static_cast<std::int32_t>(GetLastError()); }

} // namespace

TServiceInfo::TServiceInfo() : ManagerHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)) {
  if (!ManagerHandle) ErrorCode = LastError();
}

int TServiceInfo::GetState(const std::string& name) {
  ServiceHandle service(OpenServiceA(ManagerHandle.Get(), name.c_str(), SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (QueryServiceStatus(service.Get(), &status)) {
    CloseEvenIfNull(service);
    return static_cast<int>(status.dwCurrentState);
  }
  // The code is read after the close: for a service that does not exist the handle is null and the close itself
  // leaves ERROR_INVALID_HANDLE, which is the sentence the caller is meant to get.
  CloseEvenIfNull(service);
  ErrorCode = LastError();
  ErrorText = QueryErrorText(ErrorCode);
  return 0;
}

bool TServiceInfo::Start(const std::string& name) {
  ServiceHandle service(OpenServiceA(ManagerHandle.Get(), name.c_str(), SERVICE_QUERY_STATUS | SERVICE_START));
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.Get(), &status)) {
    CloseEvenIfNull(service);
    ErrorCode = LastError();
    return false;
  }
  if (status.dwCurrentState == SERVICE_RUNNING) {
    CloseEvenIfNull(service);
    ErrorText = "Service is already running";
    return false;
  }
  if (StartServiceA(service.Get(), 0, nullptr)) {
    CloseEvenIfNull(service);
    return true;
  }
  CloseEvenIfNull(service);
  ErrorCode = LastError();
  ErrorText = StartErrorText(ErrorCode);
  return false;
}

bool TServiceInfo::Stop(const std::string& name) {
  ServiceHandle service(OpenServiceA(ManagerHandle.Get(), name.c_str(), SERVICE_QUERY_STATUS | SERVICE_STOP));
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.Get(), &status)) {
    CloseEvenIfNull(service);
    ErrorCode = LastError();
    return false;
  }
  // Starting, stopping and paused services are left alone: only a running one is sent the control.
  if (status.dwCurrentState != SERVICE_RUNNING) {
    CloseEvenIfNull(service);
    return false;
  }
  if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    CloseEvenIfNull(service);
    return true;
  }
  // Here the code is read before the close, so nothing the close does can touch it.
  ErrorCode = LastError();
  CloseEvenIfNull(service);
  ErrorText = StopErrorText(ErrorCode);
  return false;
}

} // namespace tsm
