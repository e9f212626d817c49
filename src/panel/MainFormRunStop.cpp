// The run/stop button (btnServerStartStop) and the mode it reads: start the server from its run script, or ask it to
// stop. The status update switches the mode; both run on the window's (user-interface) thread.
#include "panel/MainForm.h"

#include "core/ServerContract.h"
#include "core/StopToken.h"
#include "http/HttpClient.h"
#include "win32/ExecutableFolder.h"
#include "win32/Shell.h"
#include "win32/SystemText.h"

namespace tsm {

void TfrmMain::btnServerStartStopClick() {
  switch (runMode_) {
  case RunMode::StartServer:
    // Whether the script exists is left to the shell, whose refusal carries the system's own words.
    if (const DWORD error = OpenScriptHidden(handle_, ExecutableFolder() + kRunScript); error == ERROR_SUCCESS)
      ShowRequestSent();
    else
      ShowMessage(SystemErrorText(error));
    break;
  case RunMode::StopServer: {
    std::uniform_int_distribution<std::int32_t> draw(kStopTokenLowest, kStopTokenLowest + kStopTokenSpan - 1);
    std::string response;
    // Nothing is shown either way: the next status update tells whether the server went. The window waits for no
    // more than the bound, whatever the server sends.
    (void)HttpGet(kServerHost, StopRequestPath(MakeStopToken(draw(random_))), HttpPort(), response,
                  kStopExchangeBoundMs);
    break;
  }
  case RunMode::Unknown:
    break;
  }
}

// The button follows the server: it offers to stop a running server and to start one that is not. The first answer
// of a probe enables it; an unchanged mode leaves it alone.
void TfrmMain::ShowRunMode(RunMode mode) {
  if (runMode_ == mode) return;

  btnServerStartStop.SetEnabled(true);
  runMode_ = mode;
  btnServerStartStop.Glyph = TGlyph(GlyphFor(mode).Bitmap.Get());
  btnServerStartStop.SetCaption(mode == RunMode::StopServer ? "Stop Torvale" : "Start Torvale");
  ::InvalidateRect(btnServerStartStop.Handle, nullptr, TRUE);
  KeepFocusOnATabStop(); // the window may have had no control to focus before the button was enabled
}

} // namespace tsm
