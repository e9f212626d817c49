#include "support/TestServices.h"

#include "win32/ExecutableFolder.h"
#include "win32/ServiceHandle.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <utility>

namespace tsm::test {
namespace {

[[nodiscard]] ServiceHandle OpenManager(DWORD access = SC_MANAGER_CONNECT) {
  return ServiceHandle(OpenSCManagerA(nullptr, nullptr, access));
}

// Opens the service through a manager connection of its own; the service handle does not need the manager's to
// stay open.
[[nodiscard]] ServiceHandle OpenNamedService(const std::string& name, DWORD access) {
  const ServiceHandle manager = OpenManager();
  if (!manager) return {};
  return ServiceHandle(OpenServiceA(manager.Get(), name.c_str(), access));
}

[[nodiscard]] bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed);
}

[[nodiscard]] bool Exists(const std::string& name) {
  const ServiceHandle manager = OpenManager();
  if (!manager) return false;
  const ServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS));
  return service || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

// Last resort for a service that will not stop: end its process, after which the manager reports it stopped.
void KillServiceProcess(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  if (!QueryStatus(service, status) || status.dwProcessId == 0) return;
  const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
  if (!process.Valid()) return;
  if (TerminateProcess(process.Get(), 1)) (void)WaitForSingleObject(process.Get(), kServiceBoundMs);
}

[[nodiscard]] bool ControlAndWait(const std::string& name, DWORD control, DWORD settledState) {
  return SendTestServiceControl(name, control) && WaitForServiceState(name, settledState);
}

} // namespace

std::string TestServiceCommand(const std::string& options) {
  std::string command(1, '"');
  command.append(BuiltFile(kTestServiceExe)).push_back('"');
  if (!options.empty()) command.append(1, ' ').append(options);
  return command;
}

bool CreateTestService(const std::string& name, const std::string& binaryPath, DWORD startType) {
  if (!DeleteTestService(name)) return false;
  const ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  if (!manager) return false;
  const ServiceHandle service(CreateServiceA(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_IGNORE,
                                             binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  // The manager of a Wine session that booted its prefix for the first time creates services that it then cannot
  // find by name; a test would only see that later, as a puzzling "no such service".
  return service && static_cast<bool>(OpenNamedService(name, SERVICE_QUERY_STATUS));
}

bool DeleteTestService(const std::string& name) {
  {
    const ServiceHandle service =
        OpenNamedService(name, SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_USER_DEFINED_CONTROL | DELETE);
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS_PROCESS status{};
    if (QueryStatus(service.Get(), status) && status.dwCurrentState != SERVICE_STOPPED) {
      SERVICE_STATUS ignored{};
      (void)ControlService(service.Get(), kAcceptStopControl, &ignored); // undoes --refuse-stop
      // One that refuses the stop (one already stopping included) is not waited for but killed. Wine's manager
      // never notices that and keeps showing the last state, but deletes the service all the same.
      if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &ignored) || !WaitForServiceState(name, SERVICE_STOPPED))
        KillServiceProcess(service.Get());
    }
    // The manager forgets the service once it is stopped and the last handle to it is closed.
    if (!DeleteService(service.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) return false;
  }
  return WaitUntil([&] { return !Exists(name); }, kServiceBoundMs);
}

bool MarkTestServiceForDeletion(const std::string& name) {
  const ServiceHandle service = OpenNamedService(name, DELETE);
  return service && DeleteService(service.Get());
}

bool StartTestService(const std::string& name) {
  return RequestTestServiceStart(name) && WaitForServiceState(name, SERVICE_RUNNING);
}

bool StopTestService(const std::string& name) { return ControlAndWait(name, SERVICE_CONTROL_STOP, SERVICE_STOPPED); }

bool PauseTestService(const std::string& name) { return ControlAndWait(name, SERVICE_CONTROL_PAUSE, SERVICE_PAUSED); }

bool ContinueTestService(const std::string& name) {
  return ControlAndWait(name, SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING);
}

bool RequestTestServiceStart(const std::string& name, DWORD* lastError) {
  const ServiceHandle service = OpenNamedService(name, SERVICE_START);
  const bool started = service && StartServiceA(service.Get(), 0, nullptr);
  if (lastError) *lastError = started ? ERROR_SUCCESS : GetLastError();
  return started;
}

bool SendTestServiceControl(const std::string& name, DWORD control, DWORD* lastError) {
  const DWORD access = control == SERVICE_CONTROL_STOP ? SERVICE_STOP
                       : control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE
                           ? SERVICE_PAUSE_CONTINUE
                       : control == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                                : SERVICE_USER_DEFINED_CONTROL;
  const ServiceHandle service = OpenNamedService(name, access);
  SERVICE_STATUS ignored{};
  const bool sent = service && ControlService(service.Get(), control, &ignored);
  if (lastError) *lastError = sent ? ERROR_SUCCESS : GetLastError();
  return sent;
}

DWORD QueryTestServiceState(const std::string& name) {
  const ServiceHandle service = OpenNamedService(name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status{};
  return service && QueryStatus(service.Get(), status) ? status.dwCurrentState : 0;
}

DWORD QueryTestServiceProcessId(const std::string& name) {
  const ServiceHandle service = OpenNamedService(name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status{};
  return service && QueryStatus(service.Get(), status) ? status.dwProcessId : 0;
}

bool WaitForServiceState(const std::string& name, DWORD state, DWORD timeoutMs) {
  DWORD current = 0;
  (void)WaitUntil(
      [&] {
        current = QueryTestServiceState(name);
        return current == state || current == 0; // a service that has gone never gets there
      },
      timeoutMs);
  return current == state;
}

bool SetServiceStartType(const std::string& name, DWORD startType) {
  const ServiceHandle service = OpenNamedService(name, SERVICE_CHANGE_CONFIG);
  return service && ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool SetServiceBinaryPath(const std::string& name, const std::string& binaryPath) {
  const ServiceHandle service = OpenNamedService(name, SERVICE_CHANGE_CONFIG);
  return service && ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                         binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

ScopedTestService::ScopedTestService(std::string name, const std::string& binaryPath, DWORD startType)
    : name_(std::move(name)), created_(CreateTestService(name_, binaryPath, startType)) {}

ScopedTestService::~ScopedTestService() { (void)DeleteTestService(name_); }

ServiceGuard::ServiceGuard(std::string name) : name_(std::move(name)), cleanBefore_(DeleteTestService(name_)) {
  EXPECT_TRUE(cleanBefore_) << "cannot remove a leftover service " << name_;
}

ServiceGuard::~ServiceGuard() { EXPECT_TRUE(DeleteTestService(name_)) << "cannot remove the service " << name_; }

} // namespace tsm::test
