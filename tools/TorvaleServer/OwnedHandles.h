// The owners the stand-in server uses for its few system resources: kernel handles, sockets and the Winsock session.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "win32/KernelHandle.h"
#include "win32/Socket.h"

namespace tsm::standin {

using tsm::UniqueHandle;
using tsm::UniqueSocket;
using tsm::WinsockSession;

} // namespace tsm::standin
