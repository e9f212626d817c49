// Owners for COM's text and values: BSTR and VARIANT. The conversions between 8-bit and wide text they are made from
// and read into are in WideText.h, included here for them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string_view>

#include "win32/UniqueResource.h"
#include "win32/WideText.h"

namespace tsm {

inline void FreeBstr(BSTR text) { ::SysFreeString(text); }

// An owned BSTR, freed with SysFreeString. Null is its invalid value and reads as the empty string, as COM treats it.
// Receive() takes it from an out-parameter; Release() hands it over to a new owner, such as a VARIANT.
class TBstr : public UniqueResource<BSTR, FreeBstr> {
public:
  TBstr() = default;
  explicit TBstr(std::wstring_view text)
      : UniqueResource(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!Get()) throw std::bad_alloc();
  }

  [[nodiscard]] std::wstring_view View() const { return {Get(), ::SysStringLen(Get())}; }
};

inline void ClearVariant(VARIANT& value) { ::VariantClear(&value); }

// An owned VARIANT, cleared with VariantClear. It starts empty (VT_EMPTY, which is all zeros, as VariantInit makes
// it); one moved from is empty and owns nothing until it receives a value again.
class TVariant {
public:
  [[nodiscard]] VARIANT& Get() { return value_.Get(); }
  [[nodiscard]] const VARIANT& Get() const { return value_.Get(); }
  // For an out-parameter: clears what is held first, and owns what comes (a moved-from one included).
  [[nodiscard]] VARIANT* Receive() {
    value_ = Hold(VARIANT{}, true);
    return &value_.Get();
  }

private:
  using Hold = UniqueUndo<VARIANT, ClearVariant>;
  Hold value_{VARIANT{}, true};
};

} // namespace tsm
