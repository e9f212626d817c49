// One thread's hold on the component-object library.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "win32/UniqueResource.h"

namespace tsm {

// What CoInitializeEx answered; none yet (or given away) until then.
struct ComInitResult {
  HRESULT Value = CO_E_NOTINITIALIZED;
};
inline void UninitializeCom(const ComInitResult&) { ::CoUninitialize(); }

// Initialises COM for the calling thread and undoes it when it goes out of scope. The undo happens only when the
// initialisation counted (S_OK, or S_FALSE for a thread that already had it), because each successful CoInitialize
// needs exactly one CoUninitialize and a failed one must have none. It belongs to the thread that made it: moving it
// is for returning it from a helper, never for handing it to another thread.
class TComInit {
public:
  // Apartment-threaded, as CoInitialize makes it; the flags may add to that (COINIT_DISABLE_OLE1DDE).
  explicit TComInit(DWORD flags = COINIT_APARTMENTTHREADED) : hold_(Initialize(flags)) {}

  [[nodiscard]] HRESULT GetResult() const { return hold_.Get().Value; }
  [[nodiscard]] bool Succeeded() const { return SUCCEEDED(GetResult()); }

private:
  using Hold = UniqueUndo<ComInitResult, UninitializeCom>;
  static Hold Initialize(DWORD flags) {
    const HRESULT result = ::CoInitializeEx(nullptr, flags);
    return Hold(ComInitResult{result}, SUCCEEDED(result));
  }

  Hold hold_;
};

} // namespace tsm
