// The one owning type behind every handle the program holds: a GDI object, a service handle, a socket, a kernel
// handle. Each kind names its closer and its own invalid value (null for most, INVALID_SOCKET for a socket).
#pragma once

#include <utility>

namespace tsm {

template <typename Handle, auto Close, Handle Invalid = Handle{}> class UniqueResource {
public:
  UniqueResource() noexcept = default;
  explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueResource() { Reset(); }

  [[nodiscard]] Handle Get() const noexcept { return handle_; }
  [[nodiscard]] bool Valid() const noexcept { return handle_ != Invalid; }
  explicit operator bool() const noexcept { return Valid(); }

  // Closes what is held (an invalid handle is left alone) and takes the new one.
  void Reset(Handle handle = Invalid) noexcept {
    if (handle_ != Invalid) (void)Close(handle_);
    handle_ = handle;
  }
  // Hands the handle over without closing it.
  [[nodiscard]] Handle Release() noexcept { return std::exchange(handle_, Invalid); }

private:
  Handle handle_ = Invalid;
};

} // namespace tsm
