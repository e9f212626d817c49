#include "win32/Shell.h"

#include <shellapi.h>

#include "win32/ComInit.h"
#include "win32/WideText.h"

namespace tsm {

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD OpenScriptHidden(HWND owner, const std::string& path) {
  // The shell asks for COM on a thread that opens files through it: apartment-threaded, without the old DDE that
  // OLE1 needed. Set up by the first script a thread opens rather than at start, so the window need not wait for
  // COM's libraries, and kept for the thread's life. Should it fail, the script opens all the same: a script needs
  // no shell extension.
  thread_local const TComInit com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const std::wstring file = WideFromUtf8(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_HIDE;
  // Of the shell's calls, only this one documents where its reason for a failure is kept: the thread's last error.
  if (::ShellExecuteExW(&info)) return ERROR_SUCCESS;
  // Should a shell leave none, its own code for the failure: the common ones (file or path not found, access denied,
  // out of memory, not a program) have the system's numbers.
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : static_cast<DWORD>(reinterpret_cast<INT_PTR>(info.hInstApp));
}

} // namespace tsm
