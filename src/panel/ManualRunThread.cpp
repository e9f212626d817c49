#include "panel/ManualRunThread.h"

#include <thread>

#include "win32/ComInit.h"
#include "config/ConfigLookup.h"
#include "http/HttpClient.h"
#include "core/ServerContract.h"
#include "core/TagText.h"

namespace tsm {

void TManualRunThread::Start(std::shared_ptr<TFormLink> form) {
  std::unique_ptr<TManualRunThread> probe(new TManualRunThread(std::move(form)));
  std::thread([probe = std::move(probe)] { probe->Execute(); }).detach();
}

void TManualRunThread::Execute() const {
  // Whatever goes wrong (a configuration child without its attributes, say) ends this probe silently; the window
  // keeps its last state and the next tick tries again.
  try {
    ProbeServer(*Form);
  } catch (...) {
  }
}

void ProbeServer(TFormLink& form) {
  const TComInit com; // the configuration reader needs COM on this thread

  if (form.HttpPort == -1) {
    const auto port = ResolveHttpPort(form.Handle);
    if (!port) return; // no port yet: nothing to ask, nothing to show
    form.HttpPort = *port;
  }

  std::string response;
  const bool running = HttpGet(kServerHost, kStatusPath, form.HttpPort, response);
  std::string statusLine = "Torvale is NOT running";
  if (running) {
    statusLine = "Torvale is running since ";
    statusLine += ExtractTagText(response, kRunningSinceTag);
  }

  // Synchronous, so statusLine outlives the handler. A window closed meanwhile drops the message.
  if (const HWND window = form.Handle)
    ::SendMessageA(window, WM_STATUS_UPDATE, running, reinterpret_cast<LPARAM>(&statusLine));
}

void TfrmMain::StartStatusProbe() { TManualRunThread::Start(link_); }

void TfrmMain::WMStatusUpdate(const std::string& statusLine, bool running) {
  StatusText = statusLine;
  ServerRunning = running;
  stbMain.SetSimpleText(StatusText);

  // Ends any "request sent" indication; no message processing here, so one update never runs inside another.
  lblStatus.SetVisible(false);
  lblStatus2.SetVisible(false);
  SetBusyCursor(false);

  const RunMode mode = ServerRunning ? RunMode::StopServer : RunMode::StartServer;
  if (btnRunFerrix.Tag == static_cast<int>(mode)) return;

  btnRunFerrix.SetEnabled(true);
  btnRunFerrix.Tag = static_cast<int>(mode);
  btnRunFerrix.Glyph = TGlyph((mode == RunMode::StopServer ? imgStop : imgStart).Picture.Get());
  btnRunFerrix.SetCaption(mode == RunMode::StopServer ? "Stop Torvale" : "Start Torvale");
  ::InvalidateRect(btnRunFerrix.Handle, nullptr, TRUE);
}

} // namespace tsm
