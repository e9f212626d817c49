// Owners for the few system resources the stand-in server holds: kernel handles, sockets and the Winsock session.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <stdexcept>
#include <utility>

namespace tsm::standin {

// One kernel handle (an event here); null is its invalid value.
class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  [[nodiscard]] HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Reset() {
    if (handle_) (void)CloseHandle(std::exchange(handle_, nullptr));
  }

private:
  HANDLE handle_ = nullptr;
};

// One socket; INVALID_SOCKET is its invalid value.
class UniqueSocket {
public:
  UniqueSocket() = default;
  explicit UniqueSocket(SOCKET socket) : socket_(socket) {}
  ~UniqueSocket() { Reset(); }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  UniqueSocket(UniqueSocket&& other) noexcept : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}
  UniqueSocket& operator=(UniqueSocket&& other) noexcept {
    if (this != &other) {
      Reset();
      socket_ = std::exchange(other.socket_, INVALID_SOCKET);
    }
    return *this;
  }

  [[nodiscard]] SOCKET Get() const { return socket_; }
  explicit operator bool() const { return socket_ != INVALID_SOCKET; }
  void Reset() {
    if (socket_ != INVALID_SOCKET) (void)closesocket(std::exchange(socket_, INVALID_SOCKET));
  }

private:
  SOCKET socket_ = INVALID_SOCKET;
};

// Winsock for as long as the object lives. Winsock counts its users, so nesting these is harmless.
class WinsockSession {
public:
  WinsockSession() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("Winsock did not start");
    active_ = true;
  }
  ~WinsockSession() {
    if (active_) (void)WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  WinsockSession(WinsockSession&& other) noexcept : active_(std::exchange(other.active_, false)) {}
  WinsockSession& operator=(WinsockSession&& other) noexcept {
    if (this != &other) {
      if (active_) (void)WSACleanup();
      active_ = std::exchange(other.active_, false);
    }
    return *this;
  }

private:
  bool active_ = false;
};

} // namespace tsm::standin
