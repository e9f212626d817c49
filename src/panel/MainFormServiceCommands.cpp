// The buttons that act: register, start and stop the service; run the server, or ask it to stop.
#include "panel/MainForm.h"

#include "win32/ExecutableFolder.h"
#include "http/HttpClient.h"
#include "core/ServerContract.h"
#include "service/ServiceStatus.h"
#include "core/StopToken.h"
#include "win32/Shell.h"

namespace tsm {

void TfrmMain::btnRegisterClick() {
  const std::string script = ExecutableFolder() + kInstallScript;
  if (!FileExists(script)) {
    ShowMessage("Install service file is not found. Cannot install Torvale service.");
    return;
  }
  if (OpenScriptHidden(handle_, script))
    ShowRequestSent();
  else
    ShowMessage(GetLastErrorText());
}

void TfrmMain::btnStartServiceClick() { RequestService(&TServiceInfo::Start, "Could not start the service. "); }

void TfrmMain::btnStopServiceClick() { RequestService(&TServiceInfo::Stop, "Could not stop the service. "); }

// Hands one request to the service manager; the refusal reads as the lead-in followed by the controller's reason,
// which may be empty.
void TfrmMain::RequestService(bool (TServiceInfo::*request)(const std::string&), const std::string& leadIn) {
  TServiceInfo service;
  if ((service.*request)(kServiceName))
    ShowRequestSent();
  else
    ShowMessage(leadIn + service.ErrorText);
}

void TfrmMain::btnRunFerrixClick() {
  switch (static_cast<RunMode>(btnRunFerrix.Tag)) {
  case RunMode::StartServer:
    // Whether the script exists is left to the shell, whose refusal carries the system's own words.
    if (OpenScriptHidden(handle_, ExecutableFolder() + kRunScript))
      ShowRequestSent();
    else
      ShowMessage(GetLastErrorText());
    break;
  case RunMode::StopServer: {
    std::uniform_int_distribution<std::int32_t> draw(kStopTokenLowest, kStopTokenLowest + kStopTokenSpan - 1);
    std::string response;
    // Nothing is shown either way: the next status update tells whether the server went.
    (void)HttpGet(kServerHost, StopRequestPath(MakeStopToken(draw(random_))), HttpPort(), response);
    break;
  }
  case RunMode::Unknown:
    break;
  }
}

} // namespace tsm
