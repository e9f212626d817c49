// Wide text read from a system call into a buffer that grows until the text fits.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

namespace tsm {

// `read(buffer, size)` fills the buffer and returns the text's length, or 0 when it fails. A text that does not fit
// is answered with a length at or above the size: the size the call needs (GetFullPathName), or the size itself for
// a text cut short (GetModuleFileName). The buffer then grows to that need, doubling at least, and the call is made
// again. Nothing when the call fails.
template <typename Read> [[nodiscard]] std::optional<std::wstring> GrowingText(Read read) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = read(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return std::nullopt;
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(std::max<std::size_t>(length, text.size() * 2));
  }
}

} // namespace tsm
