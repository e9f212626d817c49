// The yardstick for the panel's start-up time and memory: the least a Win32 program with one window does. One
// class, one window of the panel's client size centred on the screen, a line of text painted, a message loop.
//
// Built a second time with TSM_WITH_PANEL_IMPORTS (and the panel's manifest): the same window, but loading every DLL
// the panel loads at start (the rest it loads on first use), with common controls 6, so that the panel's start-up
// cost can be split into what its imports cost and what its own work does.
#include <windows.h>

#ifdef TSM_WITH_PANEL_IMPORTS
#include <commctrl.h>
#include <uxtheme.h>
#endif

namespace {

constexpr char kClassName[] = "TsmMinimalWindow";
constexpr char kTitle[] = "Minimal window";
constexpr int kClientWidth = 369;
constexpr int kClientHeight = 295;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_PAINT: {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    static constexpr char kLine[] = "A window and nothing more.";
    TextOutA(dc, 10, 10, kLine, sizeof kLine - 1);
    EndPaint(window, &paint);
    return 0;
  }
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}

#ifdef TSM_WITH_PANEL_IMPORTS
// Taking the addresses is enough for the loader to map each DLL at start, as the panel's imports are.
void* const volatile kImports[] = {reinterpret_cast<void*>(&IsThemeActive), reinterpret_cast<void*>(&OpenSCManagerA)};
#endif

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
#ifdef TSM_WITH_PANEL_IMPORTS
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassA(&windowClass)) return 1;

  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRect(&frame, style, FALSE);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const HWND window =
      CreateWindowExA(0, kClassName, kTitle, style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
