// One thread's hold on the component-object library.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

// Initialises COM for the calling thread and undoes it when it goes out of scope. The undo happens only when the
// initialisation counted (S_OK, or S_FALSE for a thread that already had it), because each successful CoInitialize
// needs exactly one CoUninitialize and a failed one must have none. It belongs to the thread that made it: moving it
// is for returning it from a helper, never for handing it to another thread.
class TComInit {
public:
  // Apartment-threaded, as CoInitialize makes it; the flags may add to that (COINIT_DISABLE_OLE1DDE).
  explicit TComInit(DWORD flags = COINIT_APARTMENTTHREADED) : Result(CoInitializeEx(nullptr, flags)) {}
  ~TComInit() {
    if (SUCCEEDED(Result)) CoUninitialize();
  }

  TComInit(const TComInit&) = delete;
  TComInit& operator=(const TComInit&) = delete;
  TComInit(TComInit&& other) noexcept : Result(std::exchange(other.Result, CO_E_NOTINITIALIZED)) {}
  TComInit& operator=(TComInit&& other) noexcept {
    if (this != &other) {
      if (SUCCEEDED(Result)) CoUninitialize();
      Result = std::exchange(other.Result, CO_E_NOTINITIALIZED);
    }
    return *this;
  }

  [[nodiscard]] HRESULT GetResult() const { return Result; }
  [[nodiscard]] bool Succeeded() const { return SUCCEEDED(Result); }

private:
  HRESULT Result;
};
