// The one way the program runs work on a thread of its own.
#pragma once

#include <windows.h>

#include <memory>
#include <system_error>
#include <type_traits>
#include <utility>

#include "win32/KernelHandle.h"

namespace tsm {
namespace detail {

template <typename Body> DWORD WINAPI RunBody(void* parameter) {
  const std::unique_ptr<Body> body(static_cast<Body*>(parameter));
  (*body)();
  return 0;
}

} // namespace detail

// Runs `body` on a new thread, made with the system's own call: its handle can be waited on with a bound, and its
// waits can be alertable, for the asynchronous procedure calls a service notification arrives as. The thread owns
// the body and frees it when it returns; an exception must not leave it. The caller keeps the handle to wait for the
// thread's end, or lets it go and the thread runs on by itself. Throws std::system_error, as std::thread does, when
// no thread can be made; the body never runs then.
template <typename Body> [[nodiscard]] UniqueHandle StartThread(Body&& body) {
  using Owned = std::decay_t<Body>;
  auto owned = std::make_unique<Owned>(std::forward<Body>(body));
  UniqueHandle thread(::CreateThread(nullptr, 0, detail::RunBody<Owned>, owned.get(), 0, nullptr));
  if (!thread) throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateThread");
  (void)owned.release();
  return thread;
}

} // namespace tsm
