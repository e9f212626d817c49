// The owner family behind everything the program must give back. UniqueResource holds a handle (a GDI object, a
// service handle, a socket, a kernel handle, a BSTR) and names its closer and its own invalid value (null for most,
// INVALID_SOCKET for a socket). UniqueUndo holds the state of a call owed at the end (an initialisation to undo, a
// DC to release, a painting to end, an object to select out again, a VARIANT to clear) and makes it once.
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
  // For an out-parameter: closes what is held and lends the place for the new handle.
  [[nodiscard]] Handle* Receive() noexcept {
    Reset();
    return &handle_;
  }

private:
  Handle handle_ = Invalid;
};

// One call owed: Undo(state) when the owner ends, unless nothing was owed (a failed initialisation) or the owner was
// moved from. A moved-from owner holds State{} and owes nothing, so a State whose default says "none" reads as none.
template <typename State, auto Undo> class UniqueUndo {
public:
  UniqueUndo() noexcept = default;
  UniqueUndo(State state, bool owed) noexcept : state_(std::move(state)), owed_(owed) {}
  UniqueUndo(const UniqueUndo&) = delete;
  UniqueUndo& operator=(const UniqueUndo&) = delete;
  UniqueUndo(UniqueUndo&& other) noexcept
      : state_(std::exchange(other.state_, State{})), owed_(std::exchange(other.owed_, false)) {}
  UniqueUndo& operator=(UniqueUndo&& other) noexcept {
    if (this != &other) {
      Finish();
      state_ = std::exchange(other.state_, State{});
      owed_ = std::exchange(other.owed_, false);
    }
    return *this;
  }
  ~UniqueUndo() { Finish(); }

  [[nodiscard]] State& Get() noexcept { return state_; }
  [[nodiscard]] const State& Get() const noexcept { return state_; }
  [[nodiscard]] bool Owed() const noexcept { return owed_; }

  // Makes the call now, if it is owed; never again.
  void Finish() noexcept {
    if (std::exchange(owed_, false)) (void)Undo(state_);
  }

private:
  State state_{};
  bool owed_ = false;
};

} // namespace tsm
