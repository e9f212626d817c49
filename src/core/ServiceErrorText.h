// The fixed sentences the service controller shows for the service manager's error codes.
#pragma once

#include <string_view>

namespace tsm {

// One table for each operation: the same code can mean different things to a query, a start and a stop.
[[nodiscard]] std::string_view QueryErrorText(long code);
[[nodiscard]] std::string_view StartErrorText(long code);
[[nodiscard]] std::string_view StopErrorText(long code);

} // namespace tsm
