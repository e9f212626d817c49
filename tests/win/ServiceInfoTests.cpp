// TServiceInfo against Wine's own service manager, with tsm_test_service registered under a test name.
#include "service/ServiceInfo.h"
#include "support/TestServices.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace {

using tsm::TServiceInfo;
using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
namespace svc = tsm::test;

constexpr char kName[] = "TsmServiceInfoTest";
constexpr char kAbsentName[] = "TsmServiceInfoAbsent";
constexpr std::int32_t kUntouched = -7777; // planted in ErrorCode to see whether a call wrote it

constexpr char kInvalidHandle[] = "The specified handle is invalid.";
constexpr char kUnknown[] = "Unknown error occurred";

// Brings the registered (stopped) service into one state.
using Setup = bool (*)(const std::string& name);

bool LeaveStopped(const std::string&) { return true; }
bool Run(const std::string& name) { return svc::StartTestService(name); }
bool Hold(const std::string& name, DWORD state) {
  return svc::StartTestService(name) && svc::SendTestServiceControl(name, svc::kHoldStateControl + state) &&
         svc::WaitForServiceState(name, state);
}
bool HoldStartPending(const std::string& name) { return Hold(name, SERVICE_START_PENDING); }
bool HoldContinuePending(const std::string& name) { return Hold(name, SERVICE_CONTINUE_PENDING); }
bool HoldPausePending(const std::string& name) { return Hold(name, SERVICE_PAUSE_PENDING); }
bool Pause(const std::string& name) { return svc::StartTestService(name) && svc::PauseTestService(name); }
// Needs the service registered with a long --stop-delay.
bool BeginStopping(const std::string& name) {
  return svc::StartTestService(name) && svc::SendTestServiceControl(name, SERVICE_CONTROL_STOP) &&
         svc::WaitForServiceState(name, SERVICE_STOP_PENDING);
}

struct StateCase {
  const char* name;
  const char* options; // the test service's command line
  Setup setup;
  DWORD state;
};

// Every state the manager reports, each reached for real.
constexpr StateCase kStopped = {"Stopped", "", LeaveStopped, SERVICE_STOPPED};
constexpr StateCase kRunning = {"Running", "", Run, SERVICE_RUNNING};
constexpr StateCase kNotRunning[] = {
    kStopped,
    {"StartPending", "", HoldStartPending, SERVICE_START_PENDING},
    {"StopPending", "--stop-delay 600000", BeginStopping, SERVICE_STOP_PENDING},
    {"ContinuePending", "", HoldContinuePending, SERVICE_CONTINUE_PENDING},
    {"PausePending", "", HoldPausePending, SERVICE_PAUSE_PENDING},
    {"Paused", "", Pause, SERVICE_PAUSED},
};

// Each table row names its own case, in test names and in messages.

// Registers the test service for one test and removes it at the end, also when the test fails.
class ServiceInfoTest : public ::testing::Test {
protected:
  void Register(const std::string& binaryPath, DWORD startType = SERVICE_DEMAND_START) {
    service_.emplace(kName, binaryPath, startType);
    ASSERT_TRUE(service_->Created()) << "could not register " << binaryPath
                                     << " (in a new Wine prefix, the first session's manager cannot)";
  }
  void RegisterInState(const StateCase& c) {
    ASSERT_NO_FATAL_FAILURE(Register(svc::TestServiceCommand(c.options)));
    ASSERT_TRUE(c.setup(kName)) << "could not bring the service into state " << c.state;
    ASSERT_EQ(svc::QueryTestServiceState(kName), c.state);
  }

private:
  std::optional<svc::ScopedTestService> service_;
};

TEST_F(ServiceInfoTest, ConnectsToTheManagerWithNoErrorYet) {
  const TServiceInfo info;
  EXPECT_TRUE(info.ManagerHandle);
  EXPECT_EQ(info.ErrorCode, 0);
  EXPECT_EQ(info.ErrorText, "");
}

TEST_F(ServiceInfoTest, AbsentServiceHasNoState) {
  ASSERT_EQ(svc::QueryTestServiceState(kAbsentName), 0u);
  TServiceInfo info;
  EXPECT_EQ(info.GetState(kAbsentName), 0);
  // The open fails with "does not exist"; what is reported is the query of the null handle that follows.
  EXPECT_EQ(info.ErrorCode, ERROR_INVALID_HANDLE);
  EXPECT_EQ(info.ErrorText, kInvalidHandle);
}

TEST_F(ServiceInfoTest, AbsentServiceCannotStartOrStopAndGetsNoSentence) {
  TServiceInfo start;
  EXPECT_FALSE(start.Start(kAbsentName));
  EXPECT_EQ(start.ErrorCode, ERROR_INVALID_HANDLE);
  EXPECT_EQ(start.ErrorText, "");

  TServiceInfo stop;
  EXPECT_FALSE(stop.Stop(kAbsentName));
  EXPECT_EQ(stop.ErrorCode, ERROR_INVALID_HANDLE);
  EXPECT_EQ(stop.ErrorText, "");
}

// Without a manager connection every call fails at the query, even for a service that exists and runs.
TEST_F(ServiceInfoTest, NoManagerConnectionFailsEveryCall) {
  ASSERT_NO_FATAL_FAILURE(RegisterInState(kRunning));
  TServiceInfo info;
  info.ManagerHandle = tsm::ServiceHandle();
  EXPECT_EQ(info.GetState(kName), 0);
  EXPECT_EQ(info.ErrorText, kInvalidHandle);

  TServiceInfo start;
  start.ManagerHandle = tsm::ServiceHandle();
  EXPECT_FALSE(start.Start(kName));
  EXPECT_EQ(start.ErrorText, "");

  TServiceInfo stop;
  stop.ManagerHandle = tsm::ServiceHandle();
  EXPECT_FALSE(stop.Stop(kName));
  EXPECT_EQ(stop.ErrorText, "");
  EXPECT_EQ(svc::QueryTestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
}

class ServiceInfoGetStateTest : public ServiceInfoTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(ServiceInfoGetStateTest, ReportsTheManagersState) {
  ASSERT_NO_FATAL_FAILURE(RegisterInState(GetParam()));
  TServiceInfo info;
  info.ErrorCode = kUntouched;
  EXPECT_EQ(info.GetState(kName), static_cast<int>(GetParam().state));
  EXPECT_EQ(info.ErrorCode, kUntouched);
  EXPECT_EQ(info.ErrorText, "");
}

INSTANTIATE_TEST_SUITE_P(Running, ServiceInfoGetStateTest, ::testing::Values(kRunning), tsm::test::CaseName());
INSTANTIATE_TEST_SUITE_P(NotRunning, ServiceInfoGetStateTest, ::testing::ValuesIn(kNotRunning), tsm::test::CaseName());

// Only a running service is sent the stop. The test service reports STOP_PENDING before ControlService returns,
// so an unchanged state right after the call shows that no control went out; an unchanged ErrorCode shows that
// the manager did not refuse one either.
class ServiceInfoIdleStopTest : public ServiceInfoTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(ServiceInfoIdleStopTest, LeavesTheServiceAlone) {
  ASSERT_NO_FATAL_FAILURE(RegisterInState(GetParam()));
  TServiceInfo info;
  info.ErrorCode = kUntouched;
  EXPECT_FALSE(info.Stop(kName));
  EXPECT_EQ(info.ErrorCode, kUntouched);
  EXPECT_EQ(info.ErrorText, "");
  EXPECT_EQ(svc::QueryTestServiceState(kName), GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(NotRunning, ServiceInfoIdleStopTest, ::testing::ValuesIn(kNotRunning), tsm::test::CaseName());

TEST_F(ServiceInfoTest, StartsAStoppedService) {
  ASSERT_NO_FATAL_FAILURE(RegisterInState(kStopped));
  TServiceInfo info;
  info.ErrorCode = kUntouched;
  EXPECT_TRUE(info.Start(kName));
  EXPECT_EQ(info.ErrorCode, kUntouched);
  EXPECT_EQ(info.ErrorText, "");
  EXPECT_TRUE(svc::WaitForServiceState(kName, SERVICE_RUNNING));
}

// Refused before the manager is asked: the manager's own refusal would read "An instance of the service is
// already running.", and the service's process stays the one it was.
TEST_F(ServiceInfoTest, StartRefusesARunningServiceWithoutAskingTheManager) {
  ASSERT_NO_FATAL_FAILURE(RegisterInState(kRunning));
  const DWORD process = svc::QueryTestServiceProcessId(kName);
  ASSERT_NE(process, 0u);
  TServiceInfo info;
  info.ErrorCode = kUntouched;
  EXPECT_FALSE(info.Start(kName));
  EXPECT_EQ(info.ErrorText, "Service is already running");
  EXPECT_EQ(info.ErrorCode, kUntouched);
  EXPECT_EQ(svc::QueryTestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(svc::QueryTestServiceProcessId(kName), process);
}

TEST_F(ServiceInfoTest, StopsARunningService) {
  ASSERT_NO_FATAL_FAILURE(RegisterInState(kRunning));
  TServiceInfo info;
  info.ErrorCode = kUntouched;
  EXPECT_TRUE(info.Stop(kName));
  EXPECT_EQ(info.ErrorCode, kUntouched);
  EXPECT_EQ(info.ErrorText, "");
  EXPECT_TRUE(svc::WaitForServiceState(kName, SERVICE_STOPPED));
}

struct RefusalCase {
  const char* name;
  std::string (*binaryPath)();
  DWORD startType;
  std::int32_t code;
  const char* text;
};

std::string MissingBinary() {
  std::string path(1, '"');
  path.append(svc::BuiltFile("tsm_no_such_service.exe")).push_back('"');
  return path;
}
std::string NotAService() { return svc::TestServiceCommand("--exit 0"); }
std::string TestService() { return svc::TestServiceCommand(); }

// What the manager says when it refuses a start, and the sentence that becomes.
const RefusalCase kStartRefusals[] = {
    {"Disabled", TestService, SERVICE_DISABLED, ERROR_SERVICE_DISABLED, "The service has been disabled."},
    // Not in the table, so it shows the fallback.
    {"BinaryMissing", MissingBinary, SERVICE_DEMAND_START, ERROR_FILE_NOT_FOUND, kUnknown},
    {"NotAService", NotAService, SERVICE_DEMAND_START, ERROR_SERVICE_REQUEST_TIMEOUT,
     "The service did not respond to the start request in a timely fashion."},
};

class ServiceInfoStartRefusalTest : public ServiceInfoTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ServiceInfoStartRefusalTest, GivesTheStartTablesSentence) {
  ASSERT_NO_FATAL_FAILURE(Register(GetParam().binaryPath(), GetParam().startType));
  TServiceInfo info;
  EXPECT_FALSE(info.Start(kName));
  EXPECT_EQ(info.ErrorCode, GetParam().code);
  EXPECT_EQ(info.ErrorText, GetParam().text);
  EXPECT_EQ(svc::QueryTestServiceState(kName), static_cast<DWORD>(SERVICE_STOPPED));
}

INSTANTIATE_TEST_SUITE_P(Manager, ServiceInfoStartRefusalTest, ::testing::ValuesIn(kStartRefusals),
                         tsm::test::CaseName());

// The manager refuses a stop the service does not accept; that code is read before the handle is closed.
TEST_F(ServiceInfoTest, StopRefusedByTheManagerGivesTheStopTablesSentence) {
  ASSERT_NO_FATAL_FAILURE(Register(svc::TestServiceCommand("--refuse-stop")));
  ASSERT_TRUE(svc::StartTestService(kName));
  TServiceInfo info;
  EXPECT_FALSE(info.Stop(kName));
  EXPECT_EQ(info.ErrorCode, ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(info.ErrorText, "The requested control code is not valid, or it is unacceptable to the service.");
  EXPECT_EQ(svc::QueryTestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
}

} // namespace
