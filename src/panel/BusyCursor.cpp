#include "panel/BusyCursor.h"

#include <windows.h>

namespace tsm {
namespace {

bool g_busyCursor = false;

} // namespace

void SetBusyCursor(bool busy) {
  g_busyCursor = busy;
  ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool ApplyBusyCursor() {
  if (!g_busyCursor) return false;
  ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  return true;
}

} // namespace tsm
