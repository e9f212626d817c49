// Registering and driving throw-away services under the real service manager, for tests.
//
// The service binary is tsm_test_service.exe (tests/win/programs/TestService.cpp), built into the same folder as
// every test executable. It reports RUNNING at once and obeys STOP, PAUSE and CONTINUE, each reported before
// ControlService returns (STOP_PENDING for a stop). Its command line accepts "--start-delay MS" and "--stop-delay MS"
// to linger in START_PENDING / STOP_PENDING, "--refuse-stop" to run without accepting STOP (until the user control
// kAcceptStopControl), and "--exit CODE" to exit at once as a program that is no service would. The user control
// kHoldStateControl + state makes it report and hold that state (2, 4, 5, 6 or 7).
//
// Typical use, which always removes the service again, also when the test fails:
//
//   tsm::test::ScopedTestService service("TsmTestSvc", tsm::test::TestServiceCommand());
//   ASSERT_TRUE(service.Created());
//   ASSERT_TRUE(tsm::test::StartTestService(service.Name()));   // waits until RUNNING
//
// A service the code under test registers on its own (the panel's "Torvale") is kept out of every other test with
//
//   const tsm::test::ServiceGuard service(tsm::kServiceName);   // removed now and at the end
//
// Every wait is bounded (kServiceBoundMs unless said otherwise); every function returns false (or 0) on failure
// rather than throwing. Tests that use these hold the ctest LOCK "scm" (or one that includes it) so that two
// test processes never fight over the same service name.
#pragma once

#include "support/TestSupport.h"

#include <windows.h>

#include <string>

namespace tsm::test {

inline constexpr DWORD kHoldStateControl = 128;
inline constexpr DWORD kAcceptStopControl = 255;

// The quoted path of tsm_test_service.exe next to the running executable, followed by options if any
// (e.g. "--stop-delay 3000"): a binary path ready for CreateTestService.
[[nodiscard]] std::string TestServiceCommand(const std::string& options = {});

// Registers an own-process service; binaryPath is the command line the manager runs (quote paths with blanks).
// A service of that name left over from an earlier run is deleted first. False also when the manager cannot find the
// service by name right after creating it, as happens in the Wine session that first boots a new prefix.
[[nodiscard]] bool CreateTestService(const std::string& name, const std::string& binaryPath,
                                     DWORD startType = SERVICE_DEMAND_START);

// Stops the service if it runs (killing its process if it will not stop), deletes it and waits until the manager
// no longer knows the name. True also when there was no such service.
[[nodiscard]] bool DeleteTestService(const std::string& name);
// Marks a stopped service for deletion, as another program removing it would, and returns without waiting: the
// manager forgets it once no handle holds it any more.
[[nodiscard]] bool MarkTestServiceForDeletion(const std::string& name);

// These wait until the service has settled in RUNNING, STOPPED, PAUSED or RUNNING respectively.
[[nodiscard]] bool StartTestService(const std::string& name);
[[nodiscard]] bool StopTestService(const std::string& name);
[[nodiscard]] bool PauseTestService(const std::string& name);
[[nodiscard]] bool ContinueTestService(const std::string& name);

// These only hand the request over and return what the manager said; lastError (if given) receives GetLastError.
[[nodiscard]] bool RequestTestServiceStart(const std::string& name, DWORD* lastError = nullptr);
[[nodiscard]] bool SendTestServiceControl(const std::string& name, DWORD control, DWORD* lastError = nullptr);

// The service's dwCurrentState, or 0 if there is no such service (or it cannot be queried).
[[nodiscard]] DWORD QueryTestServiceState(const std::string& name);
// The id of the service's process, or 0 if it has none (stopped) or cannot be queried.
[[nodiscard]] DWORD QueryTestServiceProcessId(const std::string& name);

// Polls until the service reports state; false on timeout or if the service disappears.
[[nodiscard]] bool WaitForServiceState(const std::string& name, DWORD state, DWORD timeoutMs = kServiceBoundMs);

// Changes only the start type (SERVICE_DEMAND_START, SERVICE_DISABLED, ...); Wine's sc.exe cannot.
[[nodiscard]] bool SetServiceStartType(const std::string& name, DWORD startType);
// Changes only the binary path (the command line the manager runs).
[[nodiscard]] bool SetServiceBinaryPath(const std::string& name, const std::string& binaryPath);

// Creates the service on construction and deletes it (as DeleteTestService) on destruction.
class ScopedTestService {
public:
  ScopedTestService(std::string name, const std::string& binaryPath, DWORD startType = SERVICE_DEMAND_START);
  ~ScopedTestService();
  ScopedTestService(const ScopedTestService&) = delete;
  ScopedTestService& operator=(const ScopedTestService&) = delete;

  [[nodiscard]] bool Created() const noexcept { return created_; }
  [[nodiscard]] const std::string& Name() const noexcept { return name_; }

private:
  std::string name_;
  bool created_;
};

// Removes the service `name` now (one an earlier run left behind) and again when it goes, whatever happened in
// between; a removal that fails is a test failure (non-fatal). For a name the code under test registers itself, such
// as the panel's "Torvale" by its install script. Declare it before a panel that shows the service, so that the panel
// is closed first.
class ServiceGuard {
public:
  explicit ServiceGuard(std::string name);
  ~ServiceGuard();
  ServiceGuard(const ServiceGuard&) = delete;
  ServiceGuard& operator=(const ServiceGuard&) = delete;

  // Whether the removal at the start worked: there is no such service now.
  [[nodiscard]] bool CleanBefore() const noexcept { return cleanBefore_; }

private:
  std::string name_;
  bool cleanBefore_;
};

} // namespace tsm::test
