// Where the running program's executable lies: the panel finds its scripts there whatever folder it was started
// in, and the stand-in server runs there as a service.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "win32/GrowingText.h"
#include "win32/WideText.h"

namespace tsm {

// The folder with its trailing separator, so that a file name can be appended; empty if the system cannot say.
// In UTF-8, read through the wide call: the 8-bit one turns letters outside the system's code page into '?', and a
// panel installed in such a folder would then find none of its scripts. Hand it to the system through WideFromUtf8.
[[nodiscard]] inline std::string ExecutableFolder() {
  std::optional<std::wstring> path =
      GrowingText([](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, buffer, size); });
  if (!path) return {};
  path->erase(path->find_last_of(L"\\/") + 1);
  return Utf8FromWide(*path);
}

} // namespace tsm
