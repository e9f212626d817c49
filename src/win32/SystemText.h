// The system's own wording for an error code.
#pragma once

#include <windows.h>

#include <string>

#include "win32/UniqueResource.h"

namespace tsm {

inline void FreeLocal(char* buffer) { ::LocalFree(buffer); }

// The message the system keeps for code, or "" when it has none, with its trailing line break. Always in one
// language, neutral with the default sub-language (the user's own), whoever asks. Inserts such as "%1" are left as
// they stand: there is nothing to fill them with.
[[nodiscard]] inline std::string SystemErrorText(DWORD code) {
  UniqueResource<char*, FreeLocal> buffer; // the system allocates it
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(buffer.Receive()), 0, nullptr);
  return length > 0 && buffer ? std::string(buffer.Get(), length) : std::string();
}

// The same for the calling thread's last error, read before anything else can change it.
[[nodiscard]] inline std::string GetLastErrorText() { return SystemErrorText(::GetLastError()); }

} // namespace tsm
