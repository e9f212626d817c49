#pragma once

namespace tsm {

// The application-wide cursor: the hourglass over every window of the program while busy.
void SetBusyCursor(bool busy);
// For WM_SETCURSOR in the program's own window procedures: true when it set the hourglass.
[[nodiscard]] bool ApplyBusyCursor();

} // namespace tsm
