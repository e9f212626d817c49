// Owners for the few system resources the stand-in server holds: kernel handles, sockets and the Winsock session.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "Socket.h"
#include "UniqueResource.h"

namespace tsm::standin {

inline BOOL CloseKernelHandle(HANDLE handle) { return CloseHandle(handle); }

// One kernel handle (an event here); null is its invalid value.
using UniqueHandle = UniqueResource<HANDLE, CloseKernelHandle>;

using tsm::UniqueSocket;
using tsm::WinsockSession;

} // namespace tsm::standin
