// The panel's one window: the service's state as a traffic light with its commands, and the server's status.
// Everything of TfrmMain runs on the window's (user-interface) thread; the probe's worker reaches the window only
// through TFormLink and WM_STATUS_UPDATE (ProbeLink.h, res/resource.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "panel/BitButton.h"
#include "panel/Controls.h"
#include "panel/ProbeLink.h"
#include "panel/StatusExplanation.h"
#include "panel/VisualStyle.h"
#include "res/resource.h"
#include "core/ServiceDisplay.h"
#include "win32/KernelHandle.h"

namespace tsm {

class TServiceInfo;
class TServiceWatch;

inline constexpr UINT kTickMilliseconds = 10000;

// What btnServerStartStop does: nothing until the first probe has answered, then start or stop the server.
enum class RunMode : int { Unknown = 0, StopServer = 1, StartServer = 2 };
inline constexpr char kMainFormClass[] = "TfrmMain";
// The window's caption, and the caption of every box the panel shows.
inline constexpr char kAppTitle[] = "Torvale Service Manager";

// The 10-second refresh, as a window timer: all the window keeps of it is its id.
struct TTimer {
  UINT_PTR Id = 0;
};

struct MainFormLayout;

class TfrmMain {
public:
  // Creates the window (which runs FormCreate) and shows it centred on the screen. Throws when the window cannot be
  // made, what its creation threw among it; no window is left then.
  explicit TfrmMain(HINSTANCE instance);
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;
  ~TfrmMain();

  [[nodiscard]] HWND Handle() const { return handle_; }

  std::string StatusText;
  bool ServerRunning = false;
  [[nodiscard]] std::int32_t HttpPort() const { return link_->HttpPort.load(); }

  // What the window does for its events: its creation, the tick, each button, a probe's result.
  void FormCreate();
  void tmrMainTimer();
  void btnRegisterClick();
  void btnStartServiceClick();
  void btnStopServiceClick();
  void btnServerStartStopClick();
  void WMStatusUpdate(const TProbeResult& result);

  void RefreshServiceStatus();
  void StartStatusProbe();

  // The hourglass over all of the program's windows (or not), shown at once.
  void SetBusy(bool on);

private:
  friend struct MainFormLayout; // its rows name the controls and the handlers

  // Controls, in the window's own order.
  TPanel pnlHeader; // the header band across the top, with the program's name
  TPageFrame pgMain;
  TPage tbUnregistered;
  TPage tbRegistered;
  TLabel lblNotRegistered; // the explanation on the unregistered page
  TBitBtn btnRegister;
  TBitBtn btnServerStartStop; // Run, Start or Stop Torvale: runs the server as a plain application or asks it to stop
  TBitBtn btnStartService;
  TBitBtn btnStopService;
  TImage imgStatus;
  TStatusBar stbMain;
  TPicture imgRunning{IDB_RUNNING}; // the traffic light for each state, shown in imgStatus
  TPicture imgStopped{IDB_STOPPED};
  TTimer tmrMain;
  TPicture imgPending{IDB_PENDING};
  TPicture imgStop{IDB_GLYPH_STOP}; // btnServerStartStop's glyph to stop the server, and to start it
  TPicture imgStart{IDB_GLYPH_START};
  TLabel lblRequestSentUnregistered;
  TLabel lblRequestSentRegistered;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Keeps what WM_CREATE threw for the constructor, and fails the creation. Only inside a handler.
  LRESULT FailCreation();
  void CreateControls();
  void CreateFonts();
  [[nodiscard]] HFONT FontFor(ControlFont font) const;
  // At another display scale (MainFormDpi.cpp): the window takes the rectangle the system suggests, and every
  // control, font, picture, glyph and the tooltip's font follow the new scale.
  void FormDpiChanged(int dpi, const RECT& suggested);
  void FitToMonitorScale();
  // The window's size whose client area is exactly the layout's at that scale, frame included; what it answers to
  // WM_GETDPISCALEDSIZE, so that the rectangle WM_DPICHANGED then suggests is exact. Nothing on a system without
  // per-monitor scaling.
  [[nodiscard]] std::optional<SIZE> FrameSizeFor(int dpi) const;
  void PressFocusedButton();
  // The control the focus belongs on: the one that last had it, else the next tab stop after it, else the first of
  // the page on show; null when no control can take it.
  [[nodiscard]] HWND TabStopToFocus() const;
  // After a control was disabled or its page hidden: the focus moves on to a tab stop, rather than to nothing.
  void KeepFocusOnATabStop();
  void OnCommand(int id);
  void ShowRequestSent();
  void RequestService(bool (TServiceInfo::*request)(const std::string&), const std::string& leadIn);
  void ShowMessage(const std::string& text) const;
  void ShowPage(const TPage& page);
  // The traffic light for a state (none for StatusPicture::None), and the run button's glyph for a mode.
  [[nodiscard]] const TPicture* LightFor(StatusPicture picture) const;
  [[nodiscard]] const TPicture& GlyphFor(RunMode mode) const;
  void ShowRunMode(RunMode mode);
  void CreateHints(HWND pointedAt);
  // The status bar's tooltip says where the status line comes from: the last probe's explanation.
  void ShowStatusExplanation() const;
  // The pictures the window keeps, and its buttons' own, loaded for its scale; the controls are pointed at them again.
  void LoadPictures();
  void ProcessMessages();

  HINSTANCE instance_;
  HWND handle_ = nullptr;
  Dpi dpi_;
  UniqueFont defaultFont_, titleFont_, explanationFont_, noticeFont_;
  TVisualStyle style_;
  HWND tooltip_ = nullptr;         // the buttons' hints and the status bar's, once the mouse has come over one
  HWND lastFocus_ = nullptr;       // the button that had the focus last
  UniqueFont tooltipFont_;         // set once the scale has changed; until then the tooltip's own
  UniqueIcon bigIcon_, smallIcon_; // likewise for the window's icons
  std::mt19937 random_;            // draws the stop token; seeded from the clock at creation
  std::shared_ptr<TFormLink> link_ = std::make_shared<TFormLink>();
  std::exception_ptr creationError_; // what WM_CREATE threw, if it did

  StatusPicture light_ = StatusPicture::None;   // the traffic light on show
  RunMode runMode_ = RunMode::Unknown;          // what btnServerStartStop does now
  std::string statusExplanation_;               // the status bar's hint: where the last probe's line came from
  TStatusExplanation explanation_;              // the same for screen readers and for F1
  std::unique_ptr<TServiceWatch> serviceWatch_; // from the window's first paint until it is destroyed
};

// Shows an exception nobody else caught: its message as a sentence, the program's title, an error icon.
void ShowExceptionBox(HWND owner, const char* message);

} // namespace tsm
