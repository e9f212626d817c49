// The server's status on the window: each tick starts a probe on a worker thread (ServerProbe.cpp), and its
// answer arrives here as WM_STATUS_UPDATE. Runs on the window's (user-interface) thread.
#include "panel/MainForm.h"

#include "panel/BusyCursor.h"
#include "panel/ServerProbe.h"

namespace tsm {

void TfrmMain::StartStatusProbe() { TServerProbe::Start(link_); }

void TfrmMain::WMStatusUpdate(const TProbeResult& result) {
  statusExplanation_ = result.Explanation;
  ShowStatusExplanation();
  if (!result.Report) return; // no port: nothing was asked, so the line and the button stay as they were

  StatusText = StatusLine(result.Report);
  ServerRunning = result.Report->Answered;
  stbMain.SetPaneText(StatusText);

  // Ends any "request sent" indication; no message processing here, so one update never runs inside another.
  lblRequestSentUnregistered.SetVisible(false);
  lblRequestSentRegistered.SetVisible(false);
  SetBusyCursor(false);

  ShowRunMode(ServerRunning ? RunMode::StopServer : RunMode::StartServer);
}

} // namespace tsm
