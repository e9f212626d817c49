#include "win32/Shell.h"

#include <shellapi.h>

#include "win32/WideText.h"

namespace tsm {

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool OpenScriptHidden(HWND owner, const std::string& path) {
  const auto result = ::ShellExecuteW(owner, L"open", WideFromUtf8(path).c_str(), nullptr, nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace tsm
