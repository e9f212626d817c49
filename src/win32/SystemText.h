// The system's own wording for an error code.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace tsm {

struct LocalFreeDeleter {
  void operator()(char* buffer) const { ::LocalFree(buffer); }
};

// The message the system keeps for code in the given language (0: the system's own order of languages), or ""
// when it has none. Inserts such as "%1" are left as they stand: there is nothing to fill them with.
[[nodiscard]] inline std::string SystemErrorText(DWORD code, DWORD language) {
  char* raw = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      language, reinterpret_cast<char*>(&raw), 0, nullptr);
  const std::unique_ptr<char, LocalFreeDeleter> buffer(raw);
  return length > 0 && raw ? std::string(raw, length) : std::string();
}

} // namespace tsm
