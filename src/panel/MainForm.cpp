// The window itself: its creation with every control from the layout table, its message dispatch, and the few
// helpers the handlers share. Runs on the window's (user-interface) thread, the process's main thread.
#include "panel/MainForm.h"

#include "panel/BusyCursor.h"
#include "panel/MainFormLayout.h"
#include "panel/WindowObject.h"

#include <commctrl.h>

#include <ctime>
#include <exception>
#include <stdexcept>

#include "core/ErrorBoxText.h"
#include "core/ServerContract.h"
#include "core/ServiceDisplay.h"
#include "service/ServiceWatch.h"
#include "win32/SystemText.h"
#include "win32/WideText.h"

namespace tsm {
namespace {

// The window's push button with this handle, or null.
TBitBtn* ButtonOf(TfrmMain& form, HWND handle) {
  if (!handle) return nullptr;
  for (const LayoutRow& row : kMainFormLayout)
    if (row.kind == ControlKind::Button && row.control(form)->Handle == handle)
      return static_cast<TBitBtn*>(row.control(form));
  return nullptr;
}

// WM_GETDPISCALEDSIZE (Windows 10, 1703), which the headers keep from a program that also runs on Windows 7.
constexpr UINT kGetDpiScaledSize = 0x02E4;

constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

constexpr char kExplanation[] = "Torvale is not registered as a service with the operating system.\r\n\r\nYou have "
                                "the option of registering as service or running it as a normal application.";

UniqueFont MakeFont(const Dpi& dpi, int height, bool bold) {
  return UniqueFont(::CreateFontA(-dpi.Scale(height), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, "Tahoma"));
}

void RegisterMainClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
  // The small one too: left to the system, it is made by reading the whole icon again, sizes up to 256 included.
  wc.hIconSm =
      static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                      ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainFormClass;
  ::RegisterClassExA(&wc);
}

} // namespace

TfrmMain::TfrmMain(HINSTANCE instance) : instance_(instance), dpi_(Dpi::OfScreen()) {
  RegisterMainClass(instance, WindowProc);
  RegisterControlClasses(instance);

  RECT frame{0, 0, dpi_.Scale(kClientWidth), dpi_.Scale(kClientHeight)};
  ::AdjustWindowRectEx(&frame, kMainStyle, FALSE, kMainExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;

  if (!::CreateWindowExA(kMainExStyle, kMainFormClass, kAppTitle, kMainStyle, left, top, width, height, nullptr,
                         nullptr, instance, this)) {
    // What WM_CREATE threw goes on to the entry point, which shows it in the start-up error box.
    if (creationError_) std::rethrow_exception(creationError_);
    throw std::runtime_error(GetLastErrorText());
  }
  try {
    FitToMonitorScale();
    // As a dialog box starts: keyboard cues (the buttons' focus rectangle) hidden when the last input was the mouse,
    // shown when it was the keyboard. The first Tab shows them for good (IsDialogMessage sees to that).
    ::SendMessageA(handle_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    ::ShowWindow(handle_, SW_SHOWNORMAL);
    ::UpdateWindow(handle_);
    ::SetEvent(link_->Shown.Get());
    // Only now: its thread's calls to the service manager would otherwise compete with the window's first paint.
    serviceWatch_ = std::make_unique<TServiceWatch>(kServiceName, handle_, WM_SERVICE_CHANGED);
  } catch (...) {
    // No destructor runs for an object whose constructor throws, so the window goes here, while its object still
    // lives: left up, it would take its messages (those of the start-up error box's loop among them) to freed
    // memory. Marked as a failed creation, so that its end posts no quit message to close that box at once.
    creationError_ = std::current_exception();
    ::DestroyWindow(handle_);
    ::SetEvent(link_->Shown.Get());
    throw;
  }
}

TfrmMain::~TfrmMain() {
  if (handle_) ::DestroyWindow(handle_);
  ::SetEvent(link_->Shown.Get());
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = WindowObject<TfrmMain>(window, message, lParam);
  if (!form) return ::DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCCREATE) {
    form->handle_ = window;
    form->link_->Handle = window;
  }
  if (message == WM_NCDESTROY) {
    form->handle_ = nullptr;
    form->link_->Handle = nullptr;
    return ::DefWindowProcA(window, message, wParam, lParam);
  }

  // An exception must not unwind through the system's frames. One from WM_CREATE fails the creation, so that no
  // half-made window stays up; any other is shown here, as the message loop would, and the window goes on.
  try {
    return form->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& e) {
    if (message == WM_CREATE) return form->FailCreation();
    ShowExceptionBox(window, e.what());
  } catch (...) {
    if (message == WM_CREATE) return form->FailCreation();
    ShowExceptionBox(window, "");
  }
  return 0;
}

LRESULT TfrmMain::FailCreation() {
  creationError_ = std::current_exception();
  return -1; // CreateWindowEx destroys the window again and returns null
}

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    style_.Open(handle_);
    CreateFonts();
    CreateControls();
    explanation_.Attach(handle_, stbMain.Handle, [this] {
      if (!tooltip_) CreateHints(stbMain.Handle);
      return tooltip_;
    });
    tmrMain.Id = IDT_TMRMAIN;
    ::SetTimer(handle_, tmrMain.Id, kTickMilliseconds, nullptr);
    FormCreate();
    return 0;
  case WM_COMMAND:
    if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
    if (HIWORD(wParam) == BN_SETFOCUS) lastFocus_ = reinterpret_cast<HWND>(lParam);
    return 0;
  case WM_ACTIVATE: // as a dialog box: the focus goes back to the control that had it, never to the frame
    if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
      const HWND control = TabStopToFocus();
      ::SetFocus(control ? control : handle_);
    }
    return 0;
  case WM_SETFOCUS: // given to the frame itself: passed on to a control, when one can take it
    if (const HWND control = TabStopToFocus()) ::SetFocus(control);
    return 0;
  case WM_DRAWITEM: {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (const TBitBtn* button = ButtonOf(*this, item.hwndItem)) button->Draw(item, dpi_, style_.Button());
    return TRUE;
  }
  case WM_SYSCOLORCHANGE: // the common controls keep the colours they were made with until they are told
    ::SendMessageA(stbMain.Handle, message, wParam, lParam);
    if (tooltip_) ::SendMessageA(tooltip_, message, wParam, lParam);
    [[fallthrough]];
  case WM_SETTINGCHANGE: // high contrast among them: the style's parts are left aside while it is on
  case WM_THEMECHANGED:
    style_.Open(handle_);
    ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    break;
  case kGetDpiScaledSize: // before WM_DPICHANGED: the exact size, rather than the system's proportional guess
    if (const auto size = FrameSizeFor(static_cast<int>(wParam))) {
      *reinterpret_cast<SIZE*>(lParam) = *size;
      return TRUE;
    }
    return FALSE;
  case WM_DPICHANGED:
    FormDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
    return 0;
  case WM_CTLCOLORSTATIC: // the labels: the system's text colour on the face, as a dialog's labels are drawn
    ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
  case WM_TIMER:
    if (wParam == tmrMain.Id) tmrMainTimer();
    return 0;
  case WM_STATUS_UPDATE:
    WMStatusUpdate(*reinterpret_cast<const TProbeResult*>(lParam));
    return 0;
  case WM_SERVICE_CHANGED:
    RefreshServiceStatus();
    return 0;
  case WM_SETCURSOR: // for the window itself, and for each control under the mouse that has not set the cursor
    if (!tooltip_ && LOWORD(lParam) == HTCLIENT) CreateHints(reinterpret_cast<HWND>(wParam));
    if (ApplyBusyCursor()) return TRUE;
    break;
  case WM_DESTROY:
    ::KillTimer(handle_, tmrMain.Id);
    serviceWatch_.reset(); // its thread ends with the window, and a notification on its way is dropped
    // A window whose creation failed ends no message loop: none runs yet, and a quit message left in the queue would
    // close the start-up error box at once.
    if (!creationError_) ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcA(handle_, message, wParam, lParam);
}

void TfrmMain::CreateFonts() {
  defaultFont_ = MakeFont(dpi_, 11, false);
  titleFont_ = MakeFont(dpi_, 21, true);
  explanationFont_ = MakeFont(dpi_, 13, false);
  noticeFont_ = MakeFont(dpi_, 11, true);
}

HFONT TfrmMain::FontFor(ControlFont font) const {
  return font == ControlFont::Title         ? titleFont_.Get()
         : font == ControlFont::Explanation ? explanationFont_.Get()
         : font == ControlFont::Notice      ? noticeFont_.Get()
                                            : defaultFont_.Get();
}

void TfrmMain::CreateControls() {
  for (const LayoutRow& row : kMainFormLayout) {
    TControl* control = row.control(*this);
    // A parent comes earlier in the table, and so already has its window.
    const HWND parent = row.parent ? LayoutRowOf(row.parent)->control(*this)->Handle : handle_;
    const DWORD visible = row.visible ? WS_VISIBLE : 0;
    const char* caption = row.caption ? row.caption : "";
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id));
    // Made in its place, rather than moved there afterwards: each move is a round of messages per control.
    const RECT place = dpi_.Scale(row.bounds);

    auto create = [&](DWORD exStyle, const char* className, DWORD style, void* param = nullptr) {
      return ::CreateWindowExA(exStyle, className, caption, WS_CHILD | visible | style, place.left, place.top,
                               place.right - place.left, place.bottom - place.top, parent, menu, instance_, param);
    };
    switch (row.kind) {
    case ControlKind::Panel:
      control->Handle = create(0, kPanelClass, 0, &style_);
      break;
    case ControlKind::PageFrame:
      control->Handle = create(WS_EX_CONTROLPARENT, kPageFrameClass, WS_CLIPCHILDREN, &style_);
      break;
    case ControlKind::Page:
      control->Handle = create(WS_EX_CONTROLPARENT, kPageClass, 0);
      break;
    case ControlKind::Label: // one line, clipped rather than wrapped out of sight below its own height
      control->Handle = create(0, "STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX);
      break;
    case ControlKind::WrappedLabel:
      control->Handle = create(0, "STATIC", SS_LEFT | SS_NOPREFIX);
      break;
    case ControlKind::Button: {
      auto& button = static_cast<TBitBtn&>(*control);
      // BS_NOTIFY: the button says when it gets the focus, so the window knows which to give it back.
      button.Handle = create(0, "BUTTON", BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP);
      button.TrackHot();
      button.Hint = row.hint ? row.hint : "";
      break;
    }
    case ControlKind::Image:
      control->Handle = create(0, kImageClass, 0, static_cast<TImage*>(control));
      break;
    case ControlKind::StatusBar: {
      control->Handle = create(0, STATUSCLASSNAMEA, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER);
      // One part reaching to the right edge rather than the simple mode, which has no parts for a screen reader.
      const int wholeWidth[] = {-1};
      ::SendMessageA(control->Handle, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(wholeWidth));
      break;
    }
    }
    if (!control->Handle) throw std::runtime_error(GetLastErrorText());
    ::SendMessageA(control->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row.font)), FALSE);
  }
  LoadPictures();
}

void TfrmMain::LoadPictures() {
  for (TPicture* picture : {&imgRunning, &imgStopped, &imgPending, &imgStop, &imgStart}) picture->Load(instance_, dpi_);
  for (const LayoutRow& row : kMainFormLayout) {
    if (row.kind != ControlKind::Button) continue;
    auto& button = static_cast<TBitBtn&>(*row.control(*this));
    button.Picture = LoadPicture(instance_, row.picture, dpi_);
    button.Glyph = TGlyph(button.Picture.Get());
  }
  // The traffic light on show (none while unregistered: the picture it pointed at has just gone), and the run
  // button's glyph once a probe has chosen imgStart's or imgStop's.
  const TPicture* lit = LightFor(light_);
  imgStatus.SetPicture(lit ? lit->Bitmap.Get() : nullptr);
  if (runMode_ != RunMode::Unknown) btnServerStartStop.Glyph = TGlyph(GlyphFor(runMode_).Bitmap.Get());
}

// The hints are made the first time the mouse comes over a button or the status bar: the tooltip window and its
// tools cost the start as much as three controls, and no hint shows before one of them is pointed at.
void TfrmMain::CreateHints(HWND pointedAt) {
  if (pointedAt != stbMain.Handle && !ButtonOf(*this, pointedAt)) return;
  tooltip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr, instance_, nullptr);
  if (!tooltip_) return;
  if (tooltipFont_) ::SendMessageA(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(tooltipFont_.Get()), FALSE);
  for (const LayoutRow& row : kMainFormLayout) {
    if (row.kind != ControlKind::Button) continue;
    const auto& button = static_cast<const TBitBtn&>(*row.control(*this));
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(button.Handle);
    tool.uId = reinterpret_cast<UINT_PTR>(button.Handle);
    tool.lpszText = const_cast<char*>(button.Hint.c_str());
    ::SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  TOOLINFOW statusTool{};
  statusTool.cbSize = sizeof statusTool;
  statusTool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  statusTool.hwnd = handle_;
  statusTool.uId = reinterpret_cast<UINT_PTR>(stbMain.Handle);
  statusTool.lpszText = const_cast<wchar_t*>(L"");
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&statusTool));
  ShowStatusExplanation();
  // The tooltip watches the buttons and the bar from now on; the move that brought the mouse here starts its wait for
  // the hint.
  POINT at{};
  ::GetCursorPos(&at);
  MSG move{pointedAt, WM_MOUSEMOVE, 0, 0, static_cast<DWORD>(::GetMessageTime()), at};
  ::ScreenToClient(pointedAt, &at);
  move.lParam = MAKELPARAM(at.x, at.y);
  ::SendMessageA(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
}

void TfrmMain::ShowStatusExplanation() const {
  if (!tooltip_) return; // made with the explanation of the moment, when the mouse first comes
  // Wide: the explanation may name a folder outside the system's code page.
  const std::wstring text = WideFromUtf8(statusExplanation_);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = handle_;
  tool.uId = reinterpret_cast<UINT_PTR>(stbMain.Handle);
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TfrmMain::FormCreate() {
  lblNotRegistered.SetCaption(kExplanation);
  random_.seed(static_cast<std::uint32_t>(::GetTickCount64() ^ static_cast<std::uint64_t>(::time(nullptr))));
  lblRequestSentUnregistered.SetVisible(false);
  lblRequestSentRegistered.SetVisible(false);
  link_->HttpPort = -1;
  btnServerStartStop.SetEnabled(false);
  ServerRunning = false;
  StatusText = StatusLine(std::nullopt);
  stbMain.SetPaneText(StatusText);
  RefreshServiceStatus();
  StartStatusProbe();
}

void TfrmMain::tmrMainTimer() {
  RefreshServiceStatus();
  StartStatusProbe();
}

void TfrmMain::SetBusy(bool on) {
  SetBusyCursor(on);
  ProcessMessages();
}

void TfrmMain::ProcessMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit for the main loop, which ends the program.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!handle_ || !::IsDialogMessageA(handle_, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

void TfrmMain::ShowMessage(const std::string& text) const { ::MessageBoxA(handle_, text.c_str(), kAppTitle, MB_OK); }

void TfrmMain::ShowRequestSent() {
  lblRequestSentUnregistered.SetVisible(true);
  lblRequestSentRegistered.SetVisible(true);
  SetBusy(true);
}

void TfrmMain::OnCommand(int id) {
  if (id == IDOK) { // Enter, which IsDialogMessage turns into IDOK: it presses the focused button
    PressFocusedButton();
    return;
  }
  if (const LayoutRow* row = LayoutRowOf(id); row && row->click) (this->*row->click)();
}

HWND TfrmMain::TabStopToFocus() const {
  const auto canTakeFocus = [](HWND control) {
    return control && ::IsWindowVisible(control) && ::IsWindowEnabled(control) &&
           (::GetWindowLongPtrA(control, GWL_STYLE) & WS_TABSTOP);
  };
  if (canTakeFocus(lastFocus_)) return lastFocus_;
  // The next after the one that can no longer take it (hidden with its page, or disabled), or the first of all.
  if (const HWND next = ::GetNextDlgTabItem(handle_, lastFocus_, FALSE); canTakeFocus(next)) return next;
  const HWND first = ::GetNextDlgTabItem(handle_, nullptr, FALSE);
  return canTakeFocus(first) ? first : nullptr;
}

void TfrmMain::KeepFocusOnATabStop() {
  if (::GetActiveWindow() != handle_) return; // the activation that brings the window back sees to it
  const HWND focus = ::GetFocus();
  // The frame itself holds it when no control could take it at activation (no page was on show yet).
  if (focus && focus != handle_ && ::IsWindowVisible(focus) && ::IsWindowEnabled(focus)) return;
  if (const HWND control = TabStopToFocus()) ::SetFocus(control);
}

// Enter presses the focused button, as Space does, when it is one of ours and can be pressed: a button that kept
// the focus while its page was hidden cannot.
void TfrmMain::PressFocusedButton() {
  const HWND focus = ::GetFocus();
  if (ButtonOf(*this, focus) && ::IsWindowVisible(focus) && ::IsWindowEnabled(focus)) OnCommand(::GetDlgCtrlID(focus));
}

void ShowExceptionBox(HWND owner, const char* message) {
  ::MessageBoxA(owner, ExceptionBoxText(message ? message : "").c_str(), kAppTitle, MB_OK | MB_ICONERROR);
}

} // namespace tsm
