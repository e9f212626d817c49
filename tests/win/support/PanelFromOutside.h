// What the system and assistive technology do to the panel from outside, beyond what a user's hands do
// (PanelDriver): read a control's accessible name as a screen reader does, tell the window its monitor's scale
// changed as Windows does, and switch the visual style off under the running panel.
#pragma once

#include "support/PanelDriver.h"

#include <windows.h>

#include <optional>
#include <string>

namespace tsm::test {

// The name MSAA (oleacc) gives the window's client object, the name a screen reader speaks; "<no object>" when the
// window offers none.
[[nodiscard]] std::string AccessibleName(HWND window);

// The description MSAA gives the window's client object, which a screen reader reads after the name; "" when it has
// none, "<no object>" when the window offers no object.
[[nodiscard]] std::string AccessibleDescription(HWND window);

// The text of the panel's tooltip while it is on screen; nothing while none shows.
[[nodiscard]] std::optional<std::string> ShownTooltip(const PanelDriver& panel);

// WM_DPICHANGED with the new scale and the suggested window rectangle, which is put in the panel's own memory, as
// the system would; returns when the panel has handled it. Throws when the panel's memory cannot be reached.
void SendDpiChanged(const PanelDriver& panel, int dpi, const RECT& suggested);

// What the panel answers to WM_GETDPISCALEDSIZE for that scale, as Windows asks it before WM_DPICHANGED; nothing
// when it leaves the size to the system.
[[nodiscard]] std::optional<SIZE> AskDpiScaledSize(const PanelDriver& panel, int dpi);

// Switches the visual style off in the panel's process, the way the style's own switch does: uxtheme's
// EnableTheming(FALSE), which broadcasts WM_THEMECHANGED. Wine keeps the style's state per process, so it is
// called on a thread in the panel. True once it has returned there.
[[nodiscard]] bool SwitchStyleOffInPanel(const PanelDriver& panel);

} // namespace tsm::test
