#include "panel/StatusExplanation.h"

#include <commctrl.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <utility>

#include "win32/WideText.h"

using Microsoft::WRL::ComPtr;

namespace tsm {
namespace {

// mingw's import library gives IID_IAccessible as an import thunk, not the GUID, and QueryInterface then fails.
constexpr GUID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr UINT_PTR kSubclassId = 1;

[[nodiscard]] bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// COM's interfaces have no virtual destructor: an object is deleted only by its own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The standard object, with a description of the bar itself. Its other interfaces (the window it belongs to, the
// enumeration of its children) are the standard object's.
class TDescribedAccessible final : public IAccessible {
public:
  TDescribedAccessible(ComPtr<IAccessible> standard, std::shared_ptr<const std::wstring> description)
      : standard_(std::move(standard)), description_(std::move(description)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    if (iid == IID_IOleWindow || iid == IID_IEnumVARIANT) return standard_->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return standard_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
    return standard_->Invoke(id, iid, locale, flags, parameters, result, exception, argument);
  }

  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    if (!IsSelf(child)) return standard_->get_accDescription(child, description);
    if (!description) return E_INVALIDARG;
    *description = nullptr;
    if (description_->empty()) return S_FALSE;
    *description = ::SysAllocStringLen(description_->data(), static_cast<UINT>(description_->size()));
    return *description ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override { return standard_->get_accName(child, name); }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override { return standard_->get_accRole(child, role); }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return standard_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return standard_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return standard_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    return standard_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return standard_->put_accValue(child, value);
  }

private:
  ~TDescribedAccessible() = default;

  std::atomic<ULONG> references_{1};
  const ComPtr<IAccessible> standard_;
  const std::shared_ptr<const std::wstring> description_;
};
#pragma GCC diagnostic pop

// The tooltip's tool that shows the explanation on F1, placed by the window rather than by the mouse.
constexpr UINT_PTR kExplanationTool = 1;

thread_local TStatusExplanation* gExplanation = nullptr;

} // namespace

TStatusExplanation::~TStatusExplanation() {
  hook_.Reset();
  if (gExplanation == this) gExplanation = nullptr;
  if (bar_) ::RemoveWindowSubclass(bar_, BarProc, kSubclassId);
}

void TStatusExplanation::Attach(HWND frame, HWND bar, std::function<HWND()> tooltip) {
  frame_ = frame;
  tooltip_ = std::move(tooltip);
  if (::SetWindowSubclass(bar, BarProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) bar_ = bar;
  // Every message the thread takes from its queue passes here, whichever loop takes it (the main loop, a message
  // box's, the one that runs while a request is sent): F1 comes to the focused control, not to the window.
  gExplanation = this;
  hook_.Reset(::SetWindowsHookExW(WH_GETMESSAGE, MessageHook, nullptr, ::GetCurrentThreadId()));
}

void TStatusExplanation::Set(const std::string& utf8) {
  *text_ = WideFromUtf8(utf8);
  if (shownIn_) ShowTip();
}

LRESULT CALLBACK TStatusExplanation::BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR self) {
  auto* explanation = reinterpret_cast<TStatusExplanation*>(self);
  // The object id arrives as a 32-bit value in a wider parameter.
  if (message == WM_GETOBJECT && static_cast<LONG>(static_cast<DWORD>(lParam)) == OBJID_CLIENT) {
    if (const LRESULT answer = explanation->ClientObject(bar, wParam)) return answer;
  } else if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(bar, BarProc, kSubclassId);
    explanation->bar_ = nullptr;
  }
  return ::DefSubclassProc(bar, message, wParam, lParam);
}

// 0 when the wrapper cannot be made: the bar's own answer (the standard object) then stands.
LRESULT TStatusExplanation::ClientObject(HWND bar, WPARAM wParam) {
  if (!com_) com_.emplace(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ComPtr<IAccessible> standard;
  if (FAILED(::CreateStdAccessibleObject(bar, OBJID_CLIENT, kIidAccessible,
                                         reinterpret_cast<void**>(standard.GetAddressOf()))))
    return 0;
  auto* wrapper = new (std::nothrow) TDescribedAccessible(std::move(standard), text_);
  if (!wrapper) return 0;
  ComPtr<IAccessible> described;
  described.Attach(wrapper);
  const LRESULT answer = ::LresultFromObject(kIidAccessible, wParam, described.Get());
  return answer > 0 ? answer : 0;
}

LRESULT CALLBACK TStatusExplanation::MessageHook(int code, WPARAM removal, LPARAM lParam) {
  if (code == HC_ACTION && removal == PM_REMOVE && gExplanation) {
    try {
      gExplanation->Look(*reinterpret_cast<const MSG*>(lParam));
    } catch (...) { // nothing may unwind through the system's frames; the tip simply does not change
    }
  }
  return ::CallNextHookEx(nullptr, code, removal, lParam);
}

void TStatusExplanation::Look(const MSG& message) {
  switch (message.message) {
  case WM_KEYDOWN:
    if (message.wParam == VK_F1 && message.hwnd && (message.hwnd == frame_ || ::IsChild(frame_, message.hwnd))) {
      ShowTip();
      return;
    }
    [[fallthrough]];
  case WM_SYSKEYDOWN:
  case WM_LBUTTONDOWN:
  case WM_RBUTTONDOWN:
  case WM_MBUTTONDOWN:
  case WM_XBUTTONDOWN:
  case WM_NCLBUTTONDOWN:
  case WM_NCRBUTTONDOWN:
  case WM_NCMBUTTONDOWN:
  case WM_NCXBUTTONDOWN:
    HideTip();
    break;
  default:
    break;
  }
}

// Just above the bar, at its left edge, as wide as the window at most.
void TStatusExplanation::ShowTip() {
  const HWND tooltip = tooltip_ ? tooltip_() : nullptr;
  if (!tooltip || !bar_) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = frame_;
  tool.uId = kExplanationTool;
  tool.lpszText = text_->data();
  if (shownIn_ != tooltip) (void)::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  ::SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  RECT bar{};
  ::GetWindowRect(bar_, &bar);
  ::SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, bar.right - bar.left);
  const auto size = static_cast<DWORD>(::SendMessageW(tooltip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&tool)));
  ::SendMessageW(tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(bar.left, bar.top - HIWORD(size)));
  ::SendMessageW(tooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  shownIn_ = tooltip;
}

void TStatusExplanation::HideTip() {
  if (!shownIn_) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = frame_;
  tool.uId = kExplanationTool;
  ::SendMessageW(shownIn_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
  ::SendMessageW(shownIn_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  shownIn_ = nullptr;
}

} // namespace tsm
