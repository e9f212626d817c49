// Owners for Winsock's two resources: the library session and one socket.
#pragma once

#include <winsock2.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "win32/UniqueResource.h"

namespace tsm {

// One WSAStartup and its WSACleanup. Winsock counts them, so any number may be alive at once, on any thread.
class WinsockSession {
public:
  WinsockSession() noexcept {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() { Reset(); }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  WinsockSession(WinsockSession&& other) noexcept : started_(std::exchange(other.started_, false)) {}
  WinsockSession& operator=(WinsockSession&& other) noexcept {
    if (this != &other) {
      Reset();
      started_ = std::exchange(other.started_, false);
    }
    return *this;
  }

  [[nodiscard]] bool Started() const noexcept { return started_; }

private:
  void Reset() noexcept {
    if (started_) WSACleanup();
    started_ = false;
  }

  bool started_ = false;
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
