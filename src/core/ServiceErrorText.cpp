#include "core/ServiceErrorText.h"

#include <algorithm>
#include <span>

namespace tsm {
namespace {

struct ErrorRow {
  long code;
  std::string_view text;
};

constexpr std::string_view kUnknown = "Unknown error occurred";
constexpr std::string_view kNoQueryAccess = "The specified handle was not opened with SERVICE_QUERY_STATUS access.";
constexpr std::string_view kInvalidHandle = "The specified handle is invalid.";
constexpr std::string_view kNoTimelyResponse = "The service did not respond to the start request in a timely fashion.";

constexpr ErrorRow kQueryTable[] = {
    {5, kNoQueryAccess},
    {6, kInvalidHandle},
};

constexpr ErrorRow kStartTable[] = {
    {3, "The service binary file could not be found."},
    {5, kNoQueryAccess},
    {6, kInvalidHandle},
    {1053, kNoTimelyResponse},
    {1054, "A thread could not be created for the Win32 service."},
    {1055, "The database is locked."},
    {1056, "An instance of the service is already running."},
    {1058, "The service has been disabled."},
    {1068, "The service depends on another service that has failed to start."},
    {1069, "The service could not be logged on. Check user id and password specified for login"},
    {1072, "The service has been marked for deletion."},
    {1075, "The service depends on a service that does not exist or has been marked for deletion."},
};

constexpr ErrorRow kStopTable[] = {
    {5, kNoQueryAccess},
    {1051, "The service cannot be stopped because other running services are dependent on it."},
    {1052, "The requested control code is not valid, or it is unacceptable to the service."},
    {1053, kNoTimelyResponse},
    {1061, "The requested control code cannot be sent to the service because the state of the service is "
           "SERVICE_STOPPED, SERVICE_START_PENDING, or SERVICE_STOP_PENDING."},
    {1062, "The service has not been started."},
};

std::string_view Lookup(std::span<const ErrorRow> table, long code) {
  const auto row = std::ranges::find(table, code, &ErrorRow::code);
  return row == table.end() ? kUnknown : row->text;
}

} // namespace

std::string_view QueryErrorText(long code) { return Lookup(kQueryTable, code); }
std::string_view StartErrorText(long code) { return Lookup(kStartTable, code); }
std::string_view StopErrorText(long code) { return Lookup(kStopTable, code); }

} // namespace tsm
