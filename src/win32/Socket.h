// Owners for Winsock's two resources: the library session and one socket.
#pragma once

#include <winsock2.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "win32/UniqueResource.h"

namespace tsm {

inline void CleanupWinsock(const bool&) { ::WSACleanup(); }

// One WSAStartup and its WSACleanup. Winsock counts them, so any number may be alive at once, on any thread.
class WinsockSession {
public:
  WinsockSession() noexcept {
    WSADATA data;
    const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    session_ = UniqueUndo<bool, CleanupWinsock>(started, started);
  }

  [[nodiscard]] bool Started() const noexcept { return session_.Owed(); }

private:
  UniqueUndo<bool, CleanupWinsock> session_;
};

inline int CloseSocket(SOCKET socket) { return closesocket(socket); }

// An owned socket. Closing is abortive only if unread data is still queued, as usual.
using UniqueSocket = UniqueResource<SOCKET, CloseSocket, INVALID_SOCKET>;

// The exception a failed socket call turns into; the code is Winsock's.
[[nodiscard]] inline std::runtime_error SocketError(std::string_view operation, int code = WSAGetLastError()) {
  std::string message = "Socket Error # ";
  message.append(std::to_string(code)).append(" on ").append(operation);
  return std::runtime_error(message);
}

} // namespace tsm
