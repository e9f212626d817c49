// The system's own wording for an error code.
#pragma once

#include <windows.h>

#include <string>

#include "win32/UniqueResource.h"

namespace tsm {

inline void FreeLocal(char* buffer) { ::LocalFree(buffer); }

// The message the system keeps for code in the given language (0: the system's own order of languages), or ""
// when it has none. Inserts such as "%1" are left as they stand: there is nothing to fill them with.
[[nodiscard]] inline std::string SystemErrorText(DWORD code, DWORD language) {
  UniqueResource<char*, FreeLocal> buffer; // the system allocates it
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      language, reinterpret_cast<char*>(buffer.Receive()), 0, nullptr);
  return length > 0 && buffer ? std::string(buffer.Get(), length) : std::string();
}

} // namespace tsm
