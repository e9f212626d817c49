// PanelDriver: runs the real panel (TorvaleServiceManager.exe) in a process of its own and works it from outside,
// the way a user's eyes and hands would: it finds controls by their id, reads their text, visibility, enabled state
// and geometry, reads the status bar, fires the refresh timer, clicks buttons, reads and closes message boxes, tells
// which traffic light is on screen and whether the hourglass cursor is up. The panel carries no test hooks; every
// reading goes through the window system.
//
// Typical use:
//
//   tsm::test::PanelDriver panel;                           // launch, wait for the window
//   EXPECT_EQ(panel.StatusText(), kCheckingStatus);
//   panel.Tick();                                           // one refresh, handled when Tick returns
//   EXPECT_EQ(panel.ActivePage(), IDC_TBREGISTERED);
//   ASSERT_TRUE(panel.Click(IDC_BTNSTARTSERVICE));         // posted: a message box it opens cannot block us
//   auto box = panel.WaitForMessageBox();                   // bounded wait
//   ASSERT_TRUE(box && panel.CloseMessageBox(*box));
//
// Everything that happens in the panel's own time (a probe's status update, a script's effect, a box opening) is
// observed with WaitUntil, which polls a predicate with a bound and never asserts on how long it took.
//
// Control ids are those of res/resource.h; id 0 everywhere means the main window itself. Readers throw
// std::runtime_error (with the id in the message) when a control is missing or the panel does not answer, so a test
// fails with a readable reason instead of reading garbage. A driver can be moved but not copied; its destructor
// closes the panel (WM_CLOSE, then TerminateProcess if it does not go), so no test leaves a panel running.
//
// Only one panel should be on screen at a time (tests that launch one hold the ctest lock "panel"): pictures are read
// from the screen, and the cursor is the foreground window's.
#pragma once

#include "support/TestSupport.h"

#include "core/StatusBarText.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tsm::test {

// A control's rectangle in its parent's client coordinates, as the layout gives it: left, top, width, height.
struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};
std::ostream& operator<<(std::ostream& out, const Bounds& b);

// Which traffic light a picture control shows, named as the program names its pictures (StatusPicture in
// core/ServiceDisplay.h). None: no picture, or nothing that matches any of the three.
enum class Light { None, Stopped, Running, Pending };
const char* ToString(Light light);
std::ostream& operator<<(std::ostream& out, Light light);

// A message box of the panel's process, as found on screen.
struct MessageBoxInfo {
  HWND window = nullptr;
  HWND owner = nullptr; // the panel's main window for the panel's own boxes
  std::string caption;
  std::string text;
};

// How a message box looks: its visible buttons (ids and captions, in z-order) and whether it shows an icon.
struct MessageBoxLook {
  std::vector<int> buttonIds;
  std::vector<std::string> buttonTexts;
  bool icon = false;
};
// Reads the look of any message box on screen, the panel's or this process's own.
[[nodiscard]] MessageBoxLook InspectMessageBox(HWND box);

// A 32-bit top-down pixel grid, 0x00RRGGBB per pixel.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> rgb;
  [[nodiscard]] std::uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// The status bar's sentences, in the program's own words: before its first answer, when the server answers with the
// time it started (that time follows), and when no server answers.
inline const std::string kCheckingStatus = StatusLine(std::nullopt);
inline const std::string kRunningSince = StatusLine(ServerReport{true, ""});
inline const std::string kNotRunning = StatusLine(ServerReport{false, ""});

// The longest status line the panel can make: the prefix and what 2000 reads of 1024 bytes can bring in.
inline constexpr std::size_t kLongestStatusLine = 64 + 2000 * 1024;

// Paths in UTF-8, as ScratchFolder gives them.
struct PanelOptions {
  std::string exePath = BuiltFile(kPanelExe); // a copy elsewhere is fine; its pictures are read from this file
  std::string workingFolder;                  // empty: the test's own working folder
  DWORD startTimeoutMs = kStartBoundMs;       // bound for the window to appear
};

// Memory in another process for the scope, for messages whose pointer the system does not marshal (SB_GETTEXT,
// WM_DPICHANGED).
class RemoteBuffer {
public:
  RemoteBuffer(HANDLE process, size_t size)
      : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  [[nodiscard]] void* Get() const { return address_; }

private:
  HANDLE process_;
  void* address_;
};

class PanelDriver {
public:
  // Starts the panel and waits (bounded) until its main window is visible and its thread answers. Throws
  // std::runtime_error when the process cannot start, exits first, or shows no window in time.
  explicit PanelDriver(const PanelOptions& options = {});
  ~PanelDriver();
  PanelDriver(const PanelDriver&) = delete;
  PanelDriver& operator=(const PanelDriver&) = delete;
  // A moved-from driver owns no panel. No move assignment: it would have to close the panel it replaces.
  PanelDriver(PanelDriver&&) noexcept = default;
  PanelDriver& operator=(PanelDriver&&) = delete;

  // --- The process ---
  [[nodiscard]] HWND Window() const { return window_; }
  [[nodiscard]] DWORD ProcessId() const { return process_.Id(); }
  // The handle it was started with, which may do anything to the process.
  [[nodiscard]] HANDLE Process() const { return process_.Handle(); }
  [[nodiscard]] DWORD ThreadId() const { return threadId_; }
  [[nodiscard]] bool IsRunning() const;
  // Exit code once the process has ended.
  [[nodiscard]] std::optional<DWORD> ExitCode() const;
  // Asks the window to close (WM_CLOSE) and waits for the process to end; kills it if it does not. True when it
  // ended on its own (or had already ended). Called by the destructor.
  bool Close(DWORD timeoutMs = kEventBoundMs);

  // --- Controls (id 0: the main window) ---
  // The window with this id anywhere below the main window, or nullptr.
  [[nodiscard]] HWND FindControl(int id) const;
  // As FindControl, but throws when there is none.
  [[nodiscard]] HWND Control(int id) const;
  // Window text through WM_GETTEXT (the system marshals it between processes): captions, label texts.
  [[nodiscard]] std::string Text(int id) const;
  [[nodiscard]] std::string ClassName(int id) const;
  // Visible on screen: its own flag and every ancestor's are set (IsWindowVisible).
  [[nodiscard]] bool IsVisible(int id) const;
  // Its own WS_VISIBLE flag, whatever its parent's. A label on the hidden page is not "visible" but may be "shown".
  [[nodiscard]] bool IsShown(int id) const;
  [[nodiscard]] bool IsEnabled(int id) const;
  [[nodiscard]] LONG_PTR Style(int id) const;
  [[nodiscard]] LONG_PTR ExStyle(int id) const;
  // Rectangle relative to the parent's client area.
  [[nodiscard]] Bounds BoundsInParent(int id) const;
  // Id of the parent (0 when the parent is the main window; -1 for the main window itself).
  [[nodiscard]] int ParentId(int id) const;
  // Ids of the direct children of `parentId` in z-order, which is the order Tab walks; with tabStopsOnly, only
  // those with WS_TABSTOP.
  [[nodiscard]] std::vector<int> ChildIds(int parentId, bool tabStopsOnly = false) const;
  // The page on show: IDC_TBUNREGISTERED or IDC_TBREGISTERED, or 0 when neither or both are shown.
  [[nodiscard]] int ActivePage() const;

  // --- The main window ---
  [[nodiscard]] std::string Caption() const { return Text(0); }
  [[nodiscard]] SIZE ClientSize() const;
  [[nodiscard]] RECT WindowRect() const;
  // The simple text of the status bar (SB_GETTEXT through a buffer in the panel's process: part SB_SIMPLEID, as
  // Windows answers it, else part 0, as Wine does), at any length up to kLongestStatusLine.
  [[nodiscard]] std::string StatusText() const;
  // The hint (tooltip text) the panel shows for a control, read from its tooltip window through memory in the
  // panel's process; nothing when the panel has no tooltip or no tool for that control.
  [[nodiscard]] std::optional<std::string> ToolHint(int id) const;

  // --- Acting ---
  // One tick of the 10-second timer, sent as WM_TIMER (IDT_TMRMAIN) straight to the window procedure: when Tick
  // returns, the handler has run. (A posted tick followed by a WM_NULL round trip proves nothing: a thread handles
  // messages sent to it before the ones posted to it.)
  void Tick() const;
  // The same tick posted to the queue, handled whenever the panel's loop gets to it.
  void PostTick() const;
  // A WM_NULL round trip: every message SENT to the panel before it has been handled. Throws when the panel does not
  // answer in time.
  void Sync(DWORD timeoutMs = kEventBoundMs) const;
  // Clicks a button as a user would (BM_CLICK, posted so that a modal box it opens does not block the test). False,
  // and nothing happens, when the button is disabled or not on screen. Observe the effect with WaitUntil.
  [[nodiscard]] bool Click(int id) const;

  // --- Message boxes ---
  // An open, visible message box of the panel's process (class #32770), if any.
  [[nodiscard]] std::optional<MessageBoxInfo> FindMessageBox() const;
  [[nodiscard]] std::optional<MessageBoxInfo> WaitForMessageBox(DWORD timeoutMs = kEventBoundMs) const;
  // Presses the box's OK (or Cancel) button and waits until the box is gone.
  [[nodiscard]] bool CloseMessageBox(const MessageBoxInfo& box, DWORD timeoutMs = kEventBoundMs) const;

  // --- Pictures on screen ---
  // A bitmap resource of the panel's executable (IDB_*), as loaded by LoadImage.
  [[nodiscard]] Pixels LoadPicture(int bitmapId) const;
  // The control's pixels as they are on screen now (the panel's window is raised first).
  [[nodiscard]] Pixels CaptureControl(int id) const;
  // The traffic light imgStatus shows: each of the three pictures is compared, pixel for pixel where it is not
  // transparent (its bottom-left colour), with the screen at the control's top-left corner.
  [[nodiscard]] Light StatusLight() const;
  // Whether the picture `bitmapId` is drawn, unscaled and unmirrored, anywhere inside the control (a glyph on a
  // button, say).
  [[nodiscard]] bool ShowsPicture(int id, int bitmapId) const;

  // --- Cursor ---
  // Whether the panel shows the hourglass: the panel is made the foreground window, the mouse is moved onto its
  // header (so that it gets WM_SETCURSOR), and the foreground thread's cursor is read. Under Wine another process's
  // cursor cannot be identified, only compared: there this means "not the cursor it showed at launch", which was
  // the arrow.
  [[nodiscard]] bool ShowsWaitCursor() const;

private:
  void WaitForWindow(DWORD timeoutMs);
  [[nodiscard]] HCURSOR CursorOverPanel() const;
  void Raise() const;

  struct PictureCache;
  std::string exePath_;
  ChildProcess process_;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
  std::unique_ptr<PictureCache> pictures_;
  HCURSOR idleCursor_ = nullptr; // the panel's cursor over its header at launch
};

// Where a PanelInFolder's executable lies.
enum class PanelExe {
  Built, // the built panel, in the test executable's folder beside the sample scripts
  Copy,  // a copy in a scratch program folder of its own, so that the scripts it opens are the ones the test puts there
};

namespace detail {
// The folders of a PanelInFolder, ready before its panel starts and removed after it has gone.
class PanelFolders {
protected:
  PanelFolders(const std::optional<std::string>& config, PanelExe exe);
  [[nodiscard]] PanelOptions Options() const;

  ScratchFolder work_;
  std::optional<ScratchFolder> program_;
  std::string exe_;
};
} // namespace detail

// The real panel started in a scratch working folder of its own, with a configuration below it or none, as the built
// executable or as a copy in a scratch program folder of its own. A PanelDriver in every other way. Declare a server
// it talks to first: the panel then goes before it, and its probes in flight with it.
//
//   const LocalHttpServer server(AnswerAndClose(HttpAnswer("<runningSince>T</runningSince>")));
//   const PanelInFolder panel(server.Port(), PanelExe::Copy);
//   panel.Program().Write("run.bat", "@echo off\r\n");
class PanelInFolder : private detail::PanelFolders, public PanelDriver {
public:
  // No configuration: no port is ever found, so the status line and the run button never change.
  explicit PanelInFolder(PanelExe exe = PanelExe::Built);
  // A configuration that names only port, as httpPort.
  explicit PanelInFolder(std::int32_t port, PanelExe exe = PanelExe::Built);
  // This configuration text, whatever it holds.
  explicit PanelInFolder(const std::string& config, PanelExe exe = PanelExe::Built);

  // The working folder, where the panel reads config\AppConfig.xml and where the scripts it opens run.
  [[nodiscard]] const ScratchFolder& Work() const { return work_; }
  // The folder of the panel's copy, where it looks for its scripts. Throws for the built panel, whose folder is the
  // test executable's and no place for a test's files.
  [[nodiscard]] const ScratchFolder& Program() const;
};

// Whether the panel's status bar reads `text` within timeoutMs (looked at as WaitUntil looks).
[[nodiscard]] bool WaitForStatus(const PanelDriver& panel, const std::string& text, DWORD timeoutMs = kEventBoundMs);

// The status bar's text once it differs from `from` (looked at as WaitForStatus does), or nothing when it still
// reads `from` after timeoutMs.
[[nodiscard]] std::optional<std::string> WaitForStatusChange(const PanelDriver& panel, const std::string& from,
                                                             DWORD timeoutMs = kEventBoundMs);

} // namespace tsm::test
