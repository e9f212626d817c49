#include "win32/Shell.h"

#include <shellapi.h>

#include "win32/ComInit.h"
#include "win32/WideText.h"

namespace tsm {

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool OpenScriptHidden(HWND owner, const std::string& path) {
  // The shell asks for COM on a thread that opens files through it: apartment-threaded, without the old DDE that
  // OLE1 needed. Set up by the first script a thread opens rather than at start, so the window need not wait for
  // COM's libraries, and kept for the thread's life. Should it fail, the script opens all the same: a script needs
  // no shell extension.
  thread_local const TComInit com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const auto result = ::ShellExecuteW(owner, L"open", WideFromUtf8(path).c_str(), nullptr, nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace tsm
