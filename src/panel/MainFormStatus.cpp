// The server's status on the window: each tick starts a probe on a worker thread (ServerProbe.cpp), and its
// answer arrives here as WM_STATUS_UPDATE. Runs on the window's (user-interface) thread.
#include "panel/MainForm.h"

#include "panel/BusyCursor.h"
#include "panel/ServerProbe.h"

namespace tsm {

void TfrmMain::StartStatusProbe() { TServerProbe::Start(link_); }

void TfrmMain::WMStatusUpdate(const TProbeResult& result) {
  const StatusWords words = WordStatus(result);
  statusExplanation_ = words.Explanation;
  ShowStatusExplanation();
  explanation_.Set(statusExplanation_);

  // Every probe's result ends any "request sent" indication, one that found no port too; no message processing here,
  // so one update never runs inside another.
  lblRequestSentUnregistered.SetVisible(false);
  lblRequestSentRegistered.SetVisible(false);
  SetBusyCursor(false);
  if (!words.Line) return; // no port: nothing was asked, so the line and the button stay as they were

  StatusText = *words.Line;
  ServerRunning = words.ServerRunning;
  stbMain.SetPaneText(StatusText);
  ShowRunMode(ServerRunning ? RunMode::StopServer : RunMode::StartServer);
}

} // namespace tsm
