// The panel driver: launching the panel and reading it through the window system from another process.
#include "support/PanelDriver.h"

#include "res/resource.h"
#include "win32/GdiHandles.h"
#include "win32/UniqueResource.h"
#include "win32/WideText.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <utility>

namespace tsm::test {
namespace {

constexpr char kMainClass[] = "TfrmMain";
constexpr char kDialogClass[] = "#32770";
constexpr WORD kWaitCursorResource = 32514; // OCR_WAIT

// A picture counts as shown when this share of its opaque pixels is on screen (a little slack for a pixel or two
// of overlap at the control's edge).
constexpr double kPictureMatch = 0.95;
// The three traffic lights differ only in their lamps; among the pixels where they differ, the one on show must
// match this well.
constexpr double kLampMatch = 0.90;
// Per colour channel; the screen is 24-bit, so a picture's colours arrive exactly, but leave room for dithering.
constexpr int kChannelSlack = 8;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string IdName(int id) { return id == 0 ? std::string("the main window") : "control " + std::to_string(id); }

BOOL CloseModule(HMODULE module) { return FreeLibrary(module); }

// The panel's executable, loaded as data for its pictures. The GDI objects and DCs here have the program's own owners
// (UiHandles.h).
using ModuleHandle = UniqueResource<HMODULE, CloseModule>;

// The NUL-terminated text at the start of a remote buffer of capacity bytes, read in pieces: first guess bytes (the
// length the text was reported to have, right below 64 KiB), then on. Pages the text did not reach read as zeros;
// a text that never ends there is longer than any the panel makes.
std::string ReadRemoteText(HANDLE process, const RemoteBuffer& remote, size_t capacity, size_t guess) {
  const auto* base = static_cast<const char*>(remote.Get());
  std::string text;
  for (size_t piece = guess;; piece = 0x10000) {
    const size_t at = text.size();
    if (at >= capacity) Fail("the status line is longer than any the panel can make");
    const size_t n = std::min(piece, capacity - at);
    text.resize(at + n);
    if (!ReadProcessMemory(process, base + at, text.data() + at, n, nullptr))
      Fail("cannot read the panel's memory (error " + std::to_string(GetLastError()) + ")");
    if (const size_t end = text.find('\0', at); end != std::string::npos) {
      text.resize(end);
      return text;
    }
  }
}

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

bool SameColour(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int ca = static_cast<int>((a >> shift) & 0xFF);
    const int cb = static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(ca - cb) > kChannelSlack) return false;
  }
  return true;
}

std::uint32_t TransparentColour(const Pixels& picture) { return picture.At(0, picture.height - 1); }

// Share of the picture's opaque pixels (restricted to `only` when given) that the screen shows at (ox, oy).
// Pixels that fall outside the screen grid count as mismatches.
double MatchAt(const Pixels& screen, const Pixels& picture, int ox, int oy, const std::vector<bool>* only = nullptr) {
  const std::uint32_t key = TransparentColour(picture);
  size_t opaque = 0;
  size_t same = 0;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const size_t index = static_cast<size_t>(y) * picture.width + x;
      if (only && !(*only)[index]) continue;
      const std::uint32_t colour = picture.rgb[index];
      if (colour == key) continue;
      ++opaque;
      const int sx = ox + x;
      const int sy = oy + y;
      if (sx < screen.width && sy < screen.height && SameColour(screen.At(sx, sy), colour)) ++same;
    }
  }
  return opaque == 0 ? 0.0 : static_cast<double>(same) / static_cast<double>(opaque);
}

struct FindContext {
  int id;
  HWND found;
};

BOOL CALLBACK FindById(HWND hwnd, LPARAM param) {
  auto* context = reinterpret_cast<FindContext*>(param);
  if (GetDlgCtrlID(hwnd) != context->id) return TRUE;
  context->found = hwnd;
  return FALSE;
}

struct TopLevelContext {
  DWORD processId;
  const char* className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM param) {
  auto* context = reinterpret_cast<TopLevelContext*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != context->processId || (context->visibleOnly && !IsWindowVisible(hwnd))) return TRUE;
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  if (lstrcmpiA(name, context->className) != 0) return TRUE;
  context->found = hwnd;
  return FALSE;
}

// A top-level window of the process with this class; with visibleOnly, only one on screen.
HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly = true) {
  TopLevelContext context{processId, className, visibleOnly, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

// Window text of any window, through the marshalled WM_GETTEXT; throws when the owner does not answer.
std::string WindowText(HWND hwnd, const std::string& what) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &length))
    Fail("no answer to WM_GETTEXTLENGTH from " + what);
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                           kAnswerBoundMs, &copied))
    Fail("no answer to WM_GETTEXT from " + what);
  text.resize(std::min<size_t>(copied, length));
  return text;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// Printing, for readable test failures

std::ostream& operator<<(std::ostream& out, const Bounds& b) {
  return out << "{" << b.left << ", " << b.top << ", " << b.width << ", " << b.height << "}";
}

const char* ToString(Light light) {
  switch (light) {
  case Light::None:
    return "None";
  case Light::Stopped:
    return "Stopped (red)";
  case Light::Running:
    return "Running (green)";
  case Light::Pending:
    return "Pending (amber)";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, Light light) { return out << ToString(light); }

// ---------------------------------------------------------------------------------------------------------------
// The process

struct PanelDriver::PictureCache {
  std::map<int, Pixels> byId;
};

namespace {

ChildProcess StartPanel(const PanelOptions& options) {
  const std::filesystem::path exe(WideFromUtf8(options.exePath));
  if (!std::filesystem::exists(exe)) Fail("no panel at " + options.exePath);
  // The manifest asks for the highest rights available: on Windows, for an administrator, CreateProcess would refuse
  // (ERROR_ELEVATION_REQUIRED) or the panel would run elevated, out of this process's reach. The panel runs with the
  // test's own rights instead; Wine ignores the variable.
  SetEnvironmentVariableW(L"__COMPAT_LAYER", L"RunAsInvoker");
  ChildProcess panel(exe, WideFromUtf8(options.workingFolder), 0);
  if (!panel.Started()) Fail("cannot start " + options.exePath + " (error " + std::to_string(panel.StartError()) + ")");
  return panel;
}

} // namespace

PanelDriver::PanelDriver(const PanelOptions& options)
    : exePath_(options.exePath), process_(StartPanel(options)), pictures_(std::make_unique<PictureCache>()) {
  // From here on a failure must not leave the panel running: the destructor does not run for a throwing constructor.
  try {
    WaitForWindow(options.startTimeoutMs);
  } catch (...) {
    Close(0);
    throw;
  }
}

void PanelDriver::WaitForWindow(DWORD timeoutMs) {
  const bool appeared = WaitUntil(
      [&] {
        if (!IsRunning()) return true;
        window_ = FindProcessWindow(process_.Id(), kMainClass);
        return window_ != nullptr;
      },
      timeoutMs);
  if (!IsRunning()) {
    window_ = nullptr;
    Fail("the panel exited at start with code " + std::to_string(ExitCode().value_or(0)));
  }
  if (!appeared) Fail("the panel showed no window within " + std::to_string(timeoutMs) + " ms");
  threadId_ = GetWindowThreadProcessId(window_, nullptr);
  Sync();
  idleCursor_ = CursorOverPanel();
}

PanelDriver::~PanelDriver() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; Close has already killed the process if it had to.
  }
}

bool PanelDriver::IsRunning() const {
  return process_.Started() && WaitForSingleObject(process_.Handle(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> PanelDriver::ExitCode() const {
  DWORD code = 0;
  if (!process_.Started() || IsRunning() || !GetExitCodeProcess(process_.Handle(), &code)) return std::nullopt;
  return code;
}

bool PanelDriver::Close(DWORD timeoutMs) {
  if (!IsRunning()) return true;
  if (window_ && IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_.Handle(), timeoutMs) == WAIT_OBJECT_0) return true;
  TerminateProcess(process_.Handle(), 1);
  WaitForSingleObject(process_.Handle(), kEndBoundMs);
  return false;
}

// ---------------------------------------------------------------------------------------------------------------
// Controls

HWND PanelDriver::FindControl(int id) const {
  if (id == 0) return window_;
  FindContext context{id, nullptr};
  EnumChildWindows(window_, FindById, reinterpret_cast<LPARAM>(&context)); // recursive: pages inside the page control
  return context.found;
}

HWND PanelDriver::Control(int id) const {
  HWND hwnd = FindControl(id);
  if (!hwnd) Fail("the panel has no " + IdName(id));
  return hwnd;
}

std::string PanelDriver::Text(int id) const { return WindowText(Control(id), IdName(id)); }

std::string PanelDriver::ClassName(int id) const {
  char name[256] = {};
  if (!GetClassNameA(Control(id), name, sizeof name)) Fail("no class name for " + IdName(id));
  return name;
}

bool PanelDriver::IsVisible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }

bool PanelDriver::IsShown(int id) const { return (Style(id) & WS_VISIBLE) != 0; }

bool PanelDriver::IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

LONG_PTR PanelDriver::Style(int id) const { return GetWindowLongPtrA(Control(id), GWL_STYLE); }

LONG_PTR PanelDriver::ExStyle(int id) const { return GetWindowLongPtrA(Control(id), GWL_EXSTYLE); }

Bounds PanelDriver::BoundsInParent(int id) const {
  HWND hwnd = Control(id);
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) Fail("no rectangle for " + IdName(id));
  HWND parent = GetParent(hwnd);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

int PanelDriver::ParentId(int id) const {
  if (id == 0) return -1;
  HWND parent = GetParent(Control(id));
  return parent == window_ ? 0 : GetDlgCtrlID(parent);
}

std::vector<int> PanelDriver::ChildIds(int parentId, bool tabStopsOnly) const {
  std::vector<int> ids;
  for (HWND child = GetWindow(Control(parentId), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (tabStopsOnly && !(GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP)) continue;
    ids.push_back(GetDlgCtrlID(child));
  }
  return ids;
}

int PanelDriver::ActivePage() const {
  const bool unregistered = IsShown(IDC_TBUNREGISTERED);
  const bool registered = IsShown(IDC_TBREGISTERED);
  if (unregistered == registered) return 0;
  return unregistered ? IDC_TBUNREGISTERED : IDC_TBREGISTERED;
}

SIZE PanelDriver::ClientSize() const {
  RECT r{};
  if (!GetClientRect(window_, &r)) Fail("no client rectangle");
  return {r.right - r.left, r.bottom - r.top};
}

RECT PanelDriver::WindowRect() const {
  RECT r{};
  if (!GetWindowRect(window_, &r)) Fail("no window rectangle");
  return r;
}

std::string PanelDriver::StatusText() const {
  HWND bar = Control(IDC_STBMAIN);
  // SB_GETTEXT's buffer is not marshalled between processes: it has to live in the panel's address space. The call
  // writes the whole text whatever the buffer's size, and SB_GETTEXTLENGTH gives only the low 16 bits of the
  // length, so the buffer has room for the longest line there can be (committed, but only touched as written).
  const size_t capacity = kLongestStatusLine + 1;
  RemoteBuffer remote(process_.Handle(), capacity);
  if (!remote.Get()) Fail("cannot allocate in the panel's process (error " + std::to_string(GetLastError()) + ")");

  // A status bar in simple mode answers for its text as part SB_SIMPLEID, as Windows documents it. Wine keeps the
  // text as part 0 and gives "" for SB_SIMPLEID, so part 0 is asked when the documented part gives nothing.
  std::string text;
  for (const WPARAM part : {WPARAM{SB_SIMPLEID}, WPARAM{0}}) {
    DWORD_PTR lengthAndType = 0;
    if (!SendMessageTimeoutA(bar, SB_GETTEXTLENGTHA, part, 0, SMTO_NORMAL, kAnswerBoundMs, &lengthAndType))
      Fail("no answer to SB_GETTEXTLENGTH");
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(bar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(remote.Get()), SMTO_NORMAL,
                             kAnswerBoundMs, &ignored))
      Fail("no answer to SB_GETTEXT");
    text = ReadRemoteText(process_.Handle(), remote, capacity, LOWORD(lengthAndType) + size_t{1});
    if (!text.empty()) break;
  }
  return text;
}

std::optional<std::string> PanelDriver::ToolHint(int id) const {
  constexpr size_t kTextSize = 1024;
  const HWND control = Control(id);
  // The panel makes its hints when the mouse first comes over a button; the system's message for that, sent as the
  // system sends it, does the same without moving the mouse over a window another test may have put on top.
  DWORD_PTR pointed = 0;
  if (!FindProcessWindow(process_.Id(), TOOLTIPS_CLASSA, false) &&
      !SendMessageTimeoutA(window_, WM_SETCURSOR, reinterpret_cast<WPARAM>(control), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE),
                           SMTO_NORMAL, kAnswerBoundMs, &pointed))
    return std::nullopt;
  const HWND tooltip = FindProcessWindow(process_.Id(), TOOLTIPS_CLASSA, false);
  if (!tooltip) return std::nullopt;
  // Read wide: Wine's 8-bit TTM_GETTEXTA stops at 80 bytes whatever the buffer, and a hint naming a folder is longer.
  const RemoteBuffer remote(process_.Handle(), sizeof(TOOLINFOW) + kTextSize * sizeof(wchar_t));
  if (!remote.Get()) return std::nullopt;

  // A tool is known by the window it was registered with and its id; try the control's parent, then the window.
  for (const HWND owner : {GetParent(control), window_}) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Get()) + sizeof tool);
    const wchar_t nothing = L'\0';
    if (!WriteProcessMemory(process_.Handle(), remote.Get(), &tool, sizeof tool, nullptr) ||
        !WriteProcessMemory(process_.Handle(), tool.lpszText, &nothing, sizeof nothing, nullptr))
      return std::nullopt;
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(tooltip, TTM_GETTEXTW, kTextSize, reinterpret_cast<LPARAM>(remote.Get()), SMTO_NORMAL,
                             kAnswerBoundMs, &ignored))
      return std::nullopt;
    std::wstring text(kTextSize, L'\0');
    if (!ReadProcessMemory(process_.Handle(), tool.lpszText, text.data(), text.size() * sizeof(wchar_t), nullptr))
      return std::nullopt;
    text.resize(text.find(L'\0'));
    if (!text.empty()) return tsm::AnsiFromWide(text);
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------------------------
// Acting

void PanelDriver::Tick() const {
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(window_, WM_TIMER, IDT_TMRMAIN, 0, SMTO_NORMAL, kAnswerBoundMs, &ignored))
    Fail("the panel did not handle the timer tick");
}

void PanelDriver::PostTick() const {
  if (!PostMessageA(window_, WM_TIMER, IDT_TMRMAIN, 0)) Fail("cannot post the timer tick");
}

void PanelDriver::Sync(DWORD timeoutMs) const {
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored))
    Fail("the panel's thread did not answer");
}

bool PanelDriver::Click(int id) const {
  HWND button = Control(id);
  if (!IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
  if (!PostMessageA(button, BM_CLICK, 0, 0)) Fail("cannot post a click to " + IdName(id));
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Message boxes

std::optional<MessageBoxInfo> PanelDriver::FindMessageBox() const {
  HWND box = FindProcessWindow(process_.Id(), kDialogClass);
  if (!box) return std::nullopt;
  MessageBoxInfo info;
  info.window = box;
  info.owner = GetWindow(box, GW_OWNER);
  info.caption = WindowText(box, "the message box");
  // The text is the static control 0xFFFF, as on Windows; older Wine used 100.
  HWND text = GetDlgItem(box, 0xFFFF);
  if (!text) text = GetDlgItem(box, 100);
  if (text) info.text = WindowText(text, "the message box's text");
  return info;
}

namespace {

BOOL CALLBACK InspectBoxChild(HWND child, LPARAM param) {
  auto& look = *reinterpret_cast<MessageBoxLook*>(param);
  if (!IsWindowVisible(child)) return TRUE;
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
  if (lstrcmpiA(className, "Button") == 0) {
    look.buttonIds.push_back(GetDlgCtrlID(child));
    char text[64] = {};
    GetWindowTextA(child, text, sizeof text);
    look.buttonTexts.emplace_back(text);
  } else if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    // Wine keeps an empty icon control in every box; only one that holds an icon and takes room shows one.
    DWORD_PTR icon = 0;
    RECT r{};
    GetWindowRect(child, &r);
    if (SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &icon) && icon != 0 &&
        r.right > r.left && r.bottom > r.top)
      look.icon = true;
  }
  return TRUE;
}

} // namespace

MessageBoxLook InspectMessageBox(HWND box) {
  MessageBoxLook look;
  EnumChildWindows(box, InspectBoxChild, reinterpret_cast<LPARAM>(&look));
  return look;
}

std::optional<MessageBoxInfo> PanelDriver::WaitForMessageBox(DWORD timeoutMs) const {
  std::optional<MessageBoxInfo> box;
  if (!WaitUntil([&] { return (box = FindMessageBox()).has_value(); }, timeoutMs)) return std::nullopt;
  return box;
}

bool PanelDriver::CloseMessageBox(const MessageBoxInfo& box, DWORD timeoutMs) const {
  if (!IsWindow(box.window)) return true;
  const int button = GetDlgItem(box.window, IDOK) ? IDOK : IDCANCEL;
  PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
  return WaitUntil([&] { return !IsWindow(box.window); }, timeoutMs);
}

// ---------------------------------------------------------------------------------------------------------------
// Pictures

Pixels PanelDriver::LoadPicture(int bitmapId) const {
  if (auto cached = pictures_->byId.find(bitmapId); cached != pictures_->byId.end()) return cached->second;
  ModuleHandle module(LoadLibraryExW(WideFromUtf8(exePath_).c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module.Get()) Fail("cannot open " + exePath_ + " for its resources");
  const tsm::UniqueBitmap bitmap(static_cast<HBITMAP>(
      LoadImageA(module.Get(), MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap.Get()) Fail("no bitmap " + std::to_string(bitmapId) + " in " + exePath_);
  BITMAP header{};
  GetObjectA(bitmap.Get(), sizeof header, &header);
  Pixels picture;
  picture.width = header.bmWidth;
  picture.height = header.bmHeight;
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height);
  BITMAPINFO info = TopDown32(picture.width, picture.height);
  const tsm::WindowDC screen(nullptr);
  if (GetDIBits(screen.Get(), bitmap.Get(), 0, picture.height, picture.rgb.data(), &info, DIB_RGB_COLORS) !=
      picture.height)
    Fail("cannot read bitmap " + std::to_string(bitmapId));
  for (auto& p : picture.rgb) p &= 0x00FFFFFF;
  pictures_->byId.emplace(bitmapId, picture);
  return picture;
}

void PanelDriver::Raise() const {
  SetForegroundWindow(window_);
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Sync();
}

Pixels PanelDriver::CaptureControl(int id) const {
  HWND hwnd = Control(id);
  Raise();
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) Fail("no rectangle for " + IdName(id));
  Pixels shot;
  shot.width = r.right - r.left;
  shot.height = r.bottom - r.top;
  if (shot.width <= 0 || shot.height <= 0) return shot;
  const tsm::WindowDC screen(nullptr);
  BITMAPINFO info = TopDown32(shot.width, shot.height);
  void* bits = nullptr;
  const tsm::UniqueBitmap section(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!section.Get()) Fail("cannot make a capture bitmap");
  {
    const tsm::MemoryDC memory(screen.Get(), section.Get());
    if (!memory.Get()) Fail("cannot make a capture DC");
    if (!BitBlt(memory.Get(), 0, 0, shot.width, shot.height, screen.Get(), r.left, r.top, SRCCOPY))
      Fail("cannot copy from the screen");
    GdiFlush();
  }
  const auto* source = static_cast<const std::uint32_t*>(bits);
  shot.rgb.assign(source, source + static_cast<size_t>(shot.width) * shot.height);
  for (auto& p : shot.rgb) p &= 0x00FFFFFF;
  return shot;
}

Light PanelDriver::StatusLight() const {
  struct Candidate {
    Light light;
    Pixels picture;
  };
  const Candidate candidates[] = {{Light::Stopped, LoadPicture(IDB_STOPPED)},
                                  {Light::Running, LoadPicture(IDB_RUNNING)},
                                  {Light::Pending, LoadPicture(IDB_PENDING)}};
  const Pixels screen = CaptureControl(IDC_IMGSTATUS);

  // The pixels where the three pictures disagree: the lamps.
  const Pixels& first = candidates[0].picture;
  std::vector<bool> lamps(first.rgb.size(), false);
  for (size_t i = 0; i < lamps.size(); ++i)
    for (const auto& c : candidates)
      if (c.picture.rgb.size() != first.rgb.size() || c.picture.rgb[i] != first.rgb[i]) lamps[i] = true;

  Light best = Light::None;
  double bestLamps = kLampMatch;
  for (const auto& c : candidates) {
    if (MatchAt(screen, c.picture, 0, 0) < kPictureMatch) continue;
    const double lampScore = c.picture.rgb.size() == first.rgb.size() ? MatchAt(screen, c.picture, 0, 0, &lamps) : 1.0;
    if (lampScore >= bestLamps) {
      bestLamps = lampScore;
      best = c.light;
    }
  }
  return best;
}

bool PanelDriver::ShowsPicture(int id, int bitmapId) const {
  const Pixels picture = LoadPicture(bitmapId);
  const Pixels screen = CaptureControl(id);
  for (int oy = 0; oy + picture.height <= screen.height; ++oy)
    for (int ox = 0; ox + picture.width <= screen.width; ++ox)
      if (MatchAt(screen, picture, ox, oy) >= kPictureMatch) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------------------------
// The panel in a folder of its own

detail::PanelFolders::PanelFolders(const std::optional<std::string>& config, PanelExe exe) {
  if (config) WriteConfig(work_, *config);
  exe_ = exe == PanelExe::Copy ? program_.emplace().CopyIn(BuiltFile(kPanelExe)) : BuiltFile(kPanelExe);
}

PanelOptions detail::PanelFolders::Options() const {
  PanelOptions options;
  options.exePath = exe_;
  options.workingFolder = work_.Path();
  return options;
}

PanelInFolder::PanelInFolder(PanelExe exe) : PanelFolders(std::nullopt, exe), PanelDriver(Options()) {}

PanelInFolder::PanelInFolder(std::int32_t port, PanelExe exe)
    : PanelFolders(ConfigWithPort(port), exe), PanelDriver(Options()) {}

PanelInFolder::PanelInFolder(const std::string& config, PanelExe exe)
    : PanelFolders(config, exe), PanelDriver(Options()) {}

const ScratchFolder& PanelInFolder::Program() const {
  if (!program_) Fail("the built panel has no program folder of the test's");
  return *program_;
}

// ---------------------------------------------------------------------------------------------------------------
// Waiting for the status bar

namespace {

template <class Want> std::optional<std::string> PollStatus(const PanelDriver& panel, Want&& want, DWORD timeoutMs) {
  std::string text;
  if (!WaitUntil([&] { return want(text = panel.StatusText()); }, timeoutMs)) return std::nullopt;
  return text;
}

} // namespace

bool WaitForStatus(const PanelDriver& panel, const std::string& text, DWORD timeoutMs) {
  return PollStatus(
             panel, [&](const std::string& now) { return now == text; }, timeoutMs)
      .has_value();
}

std::optional<std::string> WaitForStatusChange(const PanelDriver& panel, const std::string& from, DWORD timeoutMs) {
  return PollStatus(
      panel, [&](const std::string& now) { return now != from; }, timeoutMs);
}

// ---------------------------------------------------------------------------------------------------------------
// Cursor

HCURSOR PanelDriver::CursorOverPanel() const {
  Raise();
  RECT header{};
  HWND panel1 = FindControl(IDC_PNLHEADER);
  GetWindowRect(panel1 ? panel1 : window_, &header);
  const int x = (header.left + header.right) / 2;
  const int y = (header.top + header.bottom) / 2;
  // Two positions, so that the pointer really moves and the panel gets WM_SETCURSOR even when it was there already.
  SetCursorPos(x + 1, y);
  Sync();
  SetCursorPos(x, y);
  Sync();
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (!GetCursorInfo(&info)) Fail("GetCursorInfo failed");
  return info.hCursor;
}

// Wine lets GetCursorInfo read another process's cursor (the foreground thread's), but the handle is opaque to us:
// GetIconInfo on it fails with 1402, and each process loads its own copy of the system cursors, so our
// LoadCursor(IDC_WAIT) is a different handle from the panel's. What can be told is whether the panel shows the
// cursor it showed at launch, when it was not busy, or another one. On Windows the system cursors are shared and
// can be named, so there the wait cursor is recognised as such.
//
// Wine reads the foreground thread's cursor, and another process's window comes to the front only once its own
// thread has handled the request: right after a box of the panel closed, the read was once another window's, taken
// for the hourglass. Only tests that hold the panel lock ask this, one panel on the display at a time, so the panel
// does come to the front. (The read at launch does not wait: there several unlocked panels may share a display.)
bool PanelDriver::ShowsWaitCursor() const {
  if (!WaitUntil([&] { return Raise(), GetForegroundWindow() == window_; }, kAnswerBoundMs))
    Fail("the panel never came to the front, so its cursor cannot be read");
  HCURSOR cursor = CursorOverPanel();
  if (!cursor) return false;
  if (cursor == LoadCursorA(nullptr, IDC_WAIT)) return true;
  ICONINFOEXA info{};
  info.cbSize = sizeof info;
  if (GetIconInfoExA(cursor, &info)) {
    const tsm::UniqueBitmap mask(info.hbmMask);
    const tsm::UniqueBitmap colour(info.hbmColor);
    return info.wResID == kWaitCursorResource;
  }
  return cursor != idleCursor_;
}

} // namespace tsm::test
