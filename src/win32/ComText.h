// Text across the COM boundary: 8-bit <-> wide in the system's default code page (WideText.h), and owners for BSTR
// and VARIANT.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string_view>
#include <utility>

#include "win32/WideText.h"

namespace tsm {

// An owned BSTR, freed with SysFreeString. Null is its invalid value and reads as the empty string, as COM treats it.
class TBstr {
public:
  TBstr() = default;
  explicit TBstr(std::wstring_view text) : Value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!Value) throw std::bad_alloc();
  }
  ~TBstr() { SysFreeString(Value); }

  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  TBstr(TBstr&& other) noexcept : Value(std::exchange(other.Value, nullptr)) {}
  TBstr& operator=(TBstr&& other) noexcept {
    if (this != &other) {
      SysFreeString(Value);
      Value = std::exchange(other.Value, nullptr);
    }
    return *this;
  }

  [[nodiscard]] BSTR Get() const { return Value; }
  // For an out-parameter: frees what is held first.
  [[nodiscard]] BSTR* Receive() {
    SysFreeString(std::exchange(Value, nullptr));
    return &Value;
  }
  // Hands the string over to a new owner, such as a VARIANT.
  [[nodiscard]] BSTR Release() { return std::exchange(Value, nullptr); }
  [[nodiscard]] std::wstring_view View() const { return {Value, SysStringLen(Value)}; }

private:
  BSTR Value = nullptr;
};

// An owned VARIANT, cleared with VariantClear.
class TVariant {
public:
  TVariant() { VariantInit(&Value); }
  ~TVariant() { VariantClear(&Value); }

  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  TVariant(TVariant&& other) noexcept : Value(other.Value) { VariantInit(&other.Value); }
  TVariant& operator=(TVariant&& other) noexcept {
    if (this != &other) {
      VariantClear(&Value);
      Value = other.Value;
      VariantInit(&other.Value);
    }
    return *this;
  }

  [[nodiscard]] VARIANT& Get() { return Value; }
  [[nodiscard]] const VARIANT& Get() const { return Value; }
  // For an out-parameter: clears what is held first.
  [[nodiscard]] VARIANT* Receive() {
    VariantClear(&Value);
    return &Value;
  }

private:
  VARIANT Value;
};

} // namespace tsm
