// How the configuration reader turns a failed COM call into an exception that says what failed and why.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "win32/SystemText.h"

namespace tsm {

// The system's wording for a COM failure, or its code when the system has none. A failure that wraps a system
// error code (a file that cannot be opened) is worded as that code, which every system has words for.
[[nodiscard]] inline std::string ComErrorText(HRESULT hr) {
  const DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
  std::string text = SystemErrorText(code);
  if (text.empty()) {
    static const char digits[] = "0123456789ABCDEF";
    text = "COM error 0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += digits[(static_cast<DWORD>(hr) >> shift) & 0xF];
  }
  return text;
}

// Throws std::runtime_error("what: <the system's wording>") when hr is a failure.
inline void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw std::runtime_error(std::string(what) + ": " + ComErrorText(hr));
}

} // namespace tsm
