// Owner of one service control manager handle (a manager connection or a service).
#pragma once

#include <windows.h>

#include <utility>

namespace tsm {

class ServiceHandle {
public:
  ServiceHandle() noexcept = default;
  explicit ServiceHandle(SC_HANDLE handle) noexcept : handle_(handle) {}
  ~ServiceHandle() { Reset(); }

  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ServiceHandle(ServiceHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ServiceHandle& operator=(ServiceHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  [[nodiscard]] SC_HANDLE Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }

  // Closes what is held; a null handle is left alone, so the thread's last error stays as it was.
  void Reset() noexcept {
    if (handle_) (void)CloseServiceHandle(std::exchange(handle_, nullptr));
  }

  // Closes unconditionally, as the controller's error paths do: closing a null handle fails and sets the last
  // error to ERROR_INVALID_HANDLE, and a query that read the error after this must see that code.
  void Close() noexcept { (void)CloseServiceHandle(std::exchange(handle_, nullptr)); }

private:
  SC_HANDLE handle_ = nullptr;
};

} // namespace tsm
