// The service commands: register the service, start it, stop it. Runs on the window's (user-interface) thread, as
// the buttons' click handlers.
#include "panel/MainForm.h"

#include "core/ServerContract.h"
#include "service/ServiceInfo.h"
#include "win32/ExecutableFolder.h"
#include "win32/Shell.h"
#include "win32/SystemText.h"

namespace tsm {

void TfrmMain::btnRegisterClick() {
  const std::string script = ExecutableFolder() + kInstallScript;
  if (!FileExists(script)) {
    ShowMessage("Install service file is not found. Cannot install Torvale service.");
    return;
  }
  if (const DWORD error = OpenScriptHidden(handle_, script); error == ERROR_SUCCESS)
    ShowRequestSent();
  else
    ShowMessage(SystemErrorText(error));
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

} // namespace tsm
