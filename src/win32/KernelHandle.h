// Owner of one kernel handle: a process, a thread, an event, a file, a snapshot.
#pragma once

#include <windows.h>

#include "win32/UniqueResource.h"

namespace tsm {

inline BOOL CloseKernelHandle(HANDLE handle) { return ::CloseHandle(handle); }

// Null means none, and so does INVALID_HANDLE_VALUE, which CreateFile and CreateToolhelp32Snapshot return on
// failure: it is taken as null, so never closed.
class UniqueHandle : public UniqueResource<HANDLE, CloseKernelHandle> {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : UniqueResource(Owned(h)) {}
  void Reset(HANDLE h = nullptr) { UniqueResource::Reset(Owned(h)); }

private:
  static HANDLE Owned(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
};

} // namespace tsm
