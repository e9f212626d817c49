// The panel's entry point: one window and its message loop, on the process's main thread, which is the window's.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "panel/MainForm.h"

namespace {

// Every DLL loaded by name from here on comes from the system folder, never from the program's own, where anyone
// who can write to that folder (a download folder, say) could plant one for an elevated panel to load. The call
// came with an update of Windows 7, so it is looked up rather than imported.
void LoadLibrariesFromSystemFolderOnly() {
  using SetDirectories = BOOL WINAPI(DWORD);
  const FARPROC call = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (call) reinterpret_cast<SetDirectories*>(reinterpret_cast<void (*)()>(call))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LoadLibrariesFromSystemFolderOnly();
  try {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);

    tsm::TfrmMain frmMain(instance);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      if (frmMain.Handle() && ::IsDialogMessageA(frmMain.Handle(), &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  } catch (const std::exception& e) { // a start-up failure, the window's creation among them: one box, and exit 0
    tsm::ShowExceptionBox(nullptr, e.what());
  } catch (...) {
    tsm::ShowExceptionBox(nullptr, "");
  }
  return 0;
}
