// The panel's entry point: one window and its message loop, on the process's main thread, which is the window's.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "panel/MainForm.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
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
