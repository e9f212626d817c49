// 8-bit text to and from the system's UTF-16.
#pragma once

#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

namespace tsm {

// The program keeps its strings 8-bit. Its own texts (messages, names, what COM hands back) are in the system's
// default code page (CP_ACP), as the 8-bit window functions show them. Paths it takes from the system are held as
// UTF-8 instead, because a folder's name need not fit that code page ("Панель Ω" on a Western system), and they go
// back to UTF-16 where they meet the system again. Characters a code page lacks come out as its default character;
// embedded NULs survive both ways. Text longer than an int can count is cut there; nothing here comes near it.
[[nodiscard]] inline std::wstring WideFromCodePage(UINT codePage, std::string_view text) {
  const int length = text.size() > INT_MAX ? INT_MAX : static_cast<int>(text.size());
  if (length == 0) return {};
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

[[nodiscard]] inline std::string CodePageFromWide(UINT codePage, std::wstring_view text) {
  const int length = text.size() > INT_MAX ? INT_MAX : static_cast<int>(text.size());
  if (length == 0) return {};
  const int needed = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  const int written = WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return narrow;
}

[[nodiscard]] inline std::wstring WideFromAnsi(std::string_view text) { return WideFromCodePage(CP_ACP, text); }
[[nodiscard]] inline std::string AnsiFromWide(std::wstring_view text) { return CodePageFromWide(CP_ACP, text); }

// For paths: UTF-8 in the program, UTF-16 at the system's door.
[[nodiscard]] inline std::wstring WideFromUtf8(std::string_view text) { return WideFromCodePage(CP_UTF8, text); }
[[nodiscard]] inline std::string Utf8FromWide(std::wstring_view text) { return CodePageFromWide(CP_UTF8, text); }

} // namespace tsm
