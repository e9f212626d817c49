// Owner of one service control manager handle (a manager connection or a service).
#pragma once

#include <windows.h>

#include "win32/UniqueResource.h"

namespace tsm {

inline BOOL CloseServiceManagerHandle(SC_HANDLE handle) { return ::CloseServiceHandle(handle); }

// A null handle is left alone when the owner goes, so the thread's last error stays as it was.
using ServiceHandle = UniqueResource<SC_HANDLE, CloseServiceManagerHandle>;

// Closes unconditionally, as the controller's error paths do: closing a null handle fails and sets the last error to
// ERROR_INVALID_HANDLE, and a query that reads the error after this must see that code.
inline void CloseEvenIfNull(ServiceHandle& handle) { (void)::CloseServiceHandle(handle.Release()); }

} // namespace tsm
