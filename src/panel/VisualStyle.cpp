// The visual style's parts, opened and closed with the style. Runs on the window's (user-interface) thread.
#include "panel/VisualStyle.h"

#include <vssym32.h>

namespace tsm {

void TVisualStyle::Open(HWND window) {
  // Closed before they are opened again: a style that is switched off must leave no part of itself behind.
  button_.Reset();
  tab_.Reset();
  rebar_.Reset();
  if (!::IsThemeActive() || HighContrast()) return;
  button_.Reset(::OpenThemeData(window, L"BUTTON"));
  tab_.Reset(::OpenThemeData(window, L"TAB"));
  rebar_.Reset(::OpenThemeData(window, L"REBAR"));
  if (rebar_ && !::IsThemePartDefined(rebar_.Get(), RP_BACKGROUND, 0)) rebar_.Reset();
}

bool HighContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

bool DrawThemedArea(HWND window, HDC dc, HTHEME theme, int part, const RECT& client) {
  if (!theme) return false;
  if (::IsThemeBackgroundPartiallyTransparent(theme, part, 0)) {
    RECT area = client;
    ::DrawThemeParentBackground(window, dc, &area);
  }
  ::DrawThemeBackground(theme, dc, part, 0, &client, nullptr);
  return true;
}

} // namespace tsm
