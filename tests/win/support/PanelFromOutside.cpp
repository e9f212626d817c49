#include "support/PanelFromOutside.h"

#include "win32/ComInit.h"
#include "win32/KernelHandle.h"
#include "win32/WideText.h"

#include <oleacc.h>
#include <uxtheme.h>

#include <algorithm>
#include <commctrl.h>
#include <stdexcept>

namespace tsm::test {
namespace {

// mingw's import library gives IID_IAccessible as an import thunk, not the GUID.
constexpr GUID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

template <typename Interface> void ReleaseInterface(Interface* object) { object->Release(); }
using AccessibleObject = UniqueResource<IAccessible*, ReleaseInterface<IAccessible>>;
void FreeBstr(BSTR text) { SysFreeString(text); }
using Bstr = UniqueResource<BSTR, FreeBstr>;

// One text of the window's client object, read as a screen reader reads it.
std::string AccessibleText(HWND window, HRESULT (STDMETHODCALLTYPE IAccessible::*read)(VARIANT, BSTR*)) {
  const TComInit com;
  IAccessible* raw = nullptr;
  if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(&raw))) || !raw)
    return "<no object>";
  const AccessibleObject object(raw);
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  if (FAILED((object.Get()->*read)(self, &text))) return "<no text>";
  const Bstr owned(text);
  if (!text) return "";
  return AnsiFromWide({text, SysStringLen(text)});
}

struct TooltipSearch {
  DWORD processId;
  std::optional<std::string> text;
};

BOOL CALLBACK FindShownTooltip(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<TooltipSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char name[64] = {};
  if (owner != search.processId || !IsWindowVisible(window) || !GetClassNameA(window, name, sizeof name) ||
      lstrcmpiA(name, TOOLTIPS_CLASSA) != 0)
    return TRUE;
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &length)) return TRUE;
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                           kAnswerBoundMs, &copied))
    return TRUE;
  text.resize(std::min<std::size_t>(copied, length));
  search.text = AnsiFromWide(text);
  return FALSE;
}

} // namespace

std::string AccessibleName(HWND window) { return AccessibleText(window, &IAccessible::get_accName); }

std::string AccessibleDescription(HWND window) { return AccessibleText(window, &IAccessible::get_accDescription); }

std::optional<std::string> ShownTooltip(const PanelDriver& panel) {
  TooltipSearch search{panel.ProcessId(), std::nullopt};
  EnumWindows(FindShownTooltip, reinterpret_cast<LPARAM>(&search));
  return search.text;
}

void SendDpiChanged(const PanelDriver& panel, int dpi, const RECT& suggested) {
  const RemoteBuffer remote(panel.Process(), sizeof suggested);
  if (!remote.Get() || !WriteProcessMemory(panel.Process(), remote.Get(), &suggested, sizeof suggested, nullptr))
    throw std::runtime_error("cannot reach the panel's memory for WM_DPICHANGED");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(panel.Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote.Get()),
                           SMTO_NORMAL, kEventBoundMs, &result))
    throw std::runtime_error("the panel did not answer WM_DPICHANGED");
}

std::optional<SIZE> AskDpiScaledSize(const PanelDriver& panel, int dpi) {
  constexpr UINT kGetDpiScaledSize = 0x02E4; // WM_GETDPISCALEDSIZE, hidden by the headers at this WINVER
  SIZE size{};
  const RemoteBuffer remote(panel.Process(), sizeof size);
  if (!remote.Get() || !WriteProcessMemory(panel.Process(), remote.Get(), &size, sizeof size, nullptr))
    throw std::runtime_error("cannot reach the panel's memory for WM_GETDPISCALEDSIZE");
  DWORD_PTR answered = 0;
  if (!SendMessageTimeoutA(panel.Window(), kGetDpiScaledSize, static_cast<WPARAM>(dpi),
                           reinterpret_cast<LPARAM>(remote.Get()), SMTO_NORMAL, kEventBoundMs, &answered))
    throw std::runtime_error("the panel did not answer WM_GETDPISCALEDSIZE");
  if (!answered || !ReadProcessMemory(panel.Process(), remote.Get(), &size, sizeof size, nullptr)) return std::nullopt;
  return size;
}

bool SwitchStyleOffInPanel(const PanelDriver& panel) {
  // A system DLL sits at the same address in every process of the session (Windows places it once per boot, Wine at
  // its preferred base), so the panel's EnableTheming is where ours is.
  const FARPROC enableTheming = GetProcAddress(GetModuleHandleA("uxtheme.dll"), "EnableTheming");
  if (!enableTheming) return false;
  // EnableTheming takes one BOOL, which a thread's start routine receives as its parameter: null is FALSE.
  const UniqueHandle thread(CreateRemoteThread(
      panel.Process(), nullptr, 0,
      reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(enableTheming)), nullptr, 0, nullptr));
  return thread && WaitForSingleObject(thread.Get(), kEventBoundMs) == WAIT_OBJECT_0;
}

} // namespace tsm::test
