// The panel's entry point: one window and its message loop, on the process's main thread, which is the window's.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "panel/MainForm.h"
#include "win32/ComInit.h"
#include "win32/Socket.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  try {
    // The shell asks for COM on a thread that opens files through it, as this one does with the server's scripts:
    // apartment-threaded, without the old DDE that OLE1 needed, for the life of the window's thread. Should it
    // fail, the panel goes on: opening a script needs no shell extension.
    const TComInit com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);

    // Winsock for the life of the process: every exchange still starts its own session, but when overlapping
    // probes each brought the library up and down, Wine now and then lost a socket and failed a connection.
    const tsm::WinsockSession winsock;

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
