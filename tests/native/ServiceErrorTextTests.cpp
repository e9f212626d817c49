// The sentences the service controller shows, per operation, for every code any of its tables knows.
#include "core/ServiceErrorText.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

constexpr const char* kUnknown = "Unknown error occurred";
constexpr const char* kNoQueryAccess = "The specified handle was not opened with SERVICE_QUERY_STATUS access.";
constexpr const char* kInvalidHandle = "The specified handle is invalid.";
constexpr const char* kNoTimelyResponse = "The service did not respond to the start request in a timely fashion.";

struct CodeRow {
  long code;
  const char* query;
  const char* start;
  const char* stop;
};

// Each code with what each of the three tables says for it; codes no table lists close the list.
constexpr CodeRow kRows[] = {
    {3, kUnknown, "The service binary file could not be found.", kUnknown},
    {5, kNoQueryAccess, kNoQueryAccess, kNoQueryAccess},
    // The stop table has no row for an invalid handle.
    {6, kInvalidHandle, kInvalidHandle, kUnknown},
    {1051, kUnknown, kUnknown, "The service cannot be stopped because other running services are dependent on it."},
    {1052, kUnknown, kUnknown, "The requested control code is not valid, or it is unacceptable to the service."},
    {1053, kUnknown, kNoTimelyResponse, kNoTimelyResponse},
    {1054, kUnknown, "A thread could not be created for the Win32 service.", kUnknown},
    {1055, kUnknown, "The database is locked.", kUnknown},
    {1056, kUnknown, "An instance of the service is already running.", kUnknown},
    {1058, kUnknown, "The service has been disabled.", kUnknown},
    {1061, kUnknown, kUnknown,
     "The requested control code cannot be sent to the service because the state of the service is "
     "SERVICE_STOPPED, SERVICE_START_PENDING, or SERVICE_STOP_PENDING."},
    {1062, kUnknown, kUnknown, "The service has not been started."},
    {1068, kUnknown, "The service depends on another service that has failed to start.", kUnknown},
    {1069, kUnknown, "The service could not be logged on. Check user id and password specified for login", kUnknown},
    {1072, kUnknown, "The service has been marked for deletion.", kUnknown},
    {1075, kUnknown, "The service depends on a service that does not exist or has been marked for deletion.", kUnknown},
    {0, kUnknown, kUnknown, kUnknown},
    {2, kUnknown, kUnknown, kUnknown},
    {1057, kUnknown, kUnknown, kUnknown},
    {1060, kUnknown, kUnknown, kUnknown},
    {-5, kUnknown, kUnknown, kUnknown},
    {0x7fffffffL, kUnknown, kUnknown, kUnknown},
};

void PrintTo(const CodeRow& row, std::ostream* os) { *os << "code " << row.code; }

class ServiceErrorTables : public ::testing::TestWithParam<CodeRow> {};

TEST_P(ServiceErrorTables, EachOperationHasItsOwnSentence) {
  const CodeRow& row = GetParam();
  EXPECT_EQ(tsm::QueryErrorText(row.code), row.query);
  EXPECT_EQ(tsm::StartErrorText(row.code), row.start);
  EXPECT_EQ(tsm::StopErrorText(row.code), row.stop);
}

std::string CodeName(const ::testing::TestParamInfo<CodeRow>& info) {
  return info.param.code < 0 ? "Minus" + std::to_string(-info.param.code) : "Code" + std::to_string(info.param.code);
}

INSTANTIATE_TEST_SUITE_P(AllCodes, ServiceErrorTables, ::testing::ValuesIn(kRows), CodeName);

} // namespace
