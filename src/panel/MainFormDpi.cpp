// The window at another display scale. Windows sends WM_DPICHANGED when the window moves to a monitor of another
// scale (the manifest declares per-monitor awareness, version 2), or when that monitor's scale changes.
// Runs on the window's (user-interface) thread.
#include "panel/MainForm.h"

#include "panel/MainFormLayout.h"

#include <commctrl.h>

#include <optional>

#include "core/ServiceDisplay.h"

namespace tsm {
namespace {

// The system's metrics are for the scale the session started at; the tooltip's font follows the window's.
UniqueFont TooltipFont(const Dpi& dpi) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return {};
  const Dpi system = Dpi::OfScreen();
  metrics.lfStatusFont.lfHeight = ::MulDiv(metrics.lfStatusFont.lfHeight, dpi.Value(), system.Value());
  return UniqueFont(::CreateFontIndirectA(&metrics.lfStatusFont));
}

// Calls of Windows 10 (1607) and later, looked up so that the panel still starts on older systems.
template <typename Function> Function* User32Call(const char* name) {
  const FARPROC call = ::GetProcAddress(::GetModuleHandleA("user32.dll"), name);
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(call));
}

UniqueIcon LoadAppIcon(HINSTANCE instance, int size) {
  return UniqueIcon(static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size, size, 0)));
}

} // namespace

std::optional<SIZE> TfrmMain::FrameSizeFor(int dpi) const {
  const auto adjustForDpi = User32Call<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (!adjustForDpi || dpi <= 0) return std::nullopt;
  const Dpi scale(dpi);
  RECT frame{0, 0, scale.Scale(kClientWidth), scale.Scale(kClientHeight)};
  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(handle_, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrA(handle_, GWL_EXSTYLE));
  if (!adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))) return std::nullopt;
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void TfrmMain::FitToMonitorScale() {
  // The window was laid out for the scale the session started with; the monitor it opens on may have another
  // (its scale was changed since, or it is not the one the session started on).
  const auto dpiForWindow = User32Call<UINT WINAPI(HWND)>("GetDpiForWindow");
  const int dpi = dpiForWindow ? static_cast<int>(dpiForWindow(handle_)) : 0;
  if (!dpi || dpi == dpi_.Value()) return;
  const auto size = FrameSizeFor(dpi);
  if (!size) return;
  RECT now{};
  ::GetWindowRect(handle_, &now);
  // Kept centred where it was.
  const int left = (now.left + now.right - size->cx) / 2;
  const int top = (now.top + now.bottom - size->cy) / 2;
  FormDpiChanged(dpi, RECT{left, top, left + size->cx, top + size->cy});
}

void TfrmMain::FormDpiChanged(int dpi, const RECT& suggested) {
  dpi_ = Dpi(dpi);
  style_.Open(handle_); // the style's parts are made for the scale the window had when they were opened
  // The fonts the controls hold now go only once every control has its new one.
  const UniqueFont oldFonts[] = {std::move(defaultFont_), std::move(titleFont_), std::move(explanationFont_),
                                 std::move(noticeFont_)};
  CreateFonts();
  // The tooltip's font changes before anything below can throw, and only for one that was made: without a new one
  // the tooltip keeps its font, which must then live on.
  if (UniqueFont font = TooltipFont(dpi_)) {
    if (tooltip_) ::SendMessageA(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    tooltipFont_ = std::move(font);
  }
  // The layout again at the new scale, with the pictures drawn for it.
  for (const LayoutRow& row : kMainFormLayout) {
    TControl* control = row.control(*this);
    PlaceControl(control->Handle, row.bounds, dpi_);
    ::SendMessageA(control->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(row.font)), FALSE);
  }
  LoadPictures();

  // The window lets go of the icons it shows only when it is handed new ones, so the old ones go after that.
  UniqueIcon bigIcon = LoadAppIcon(instance_, dpi_.Scale(32));
  UniqueIcon smallIcon = LoadAppIcon(instance_, dpi_.Scale(16));
  ::SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.Get()));
  ::SendMessageA(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.Get()));
  bigIcon_ = std::move(bigIcon);
  smallIcon_ = std::move(smallIcon);

  ::SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

} // namespace tsm
