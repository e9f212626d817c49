// The probe's worker thread: everything here but Start runs on it, never on the window's thread. It reaches the
// window only through the shared link and one synchronous message.
#include "panel/ManualRunThread.h"

#include <thread>

#include "config/ConfigLookup.h"
#include "core/ServerContract.h"
#include "core/TagText.h"
#include "http/HttpClient.h"
#include "win32/ComInit.h"

namespace tsm {
namespace {

constexpr DWORD kWaitForWindowMs = 10000;

} // namespace

void TManualRunThread::Start(std::shared_ptr<TFormLink> form) {
  std::unique_ptr<TManualRunThread> probe(new TManualRunThread(std::move(form)));
  std::thread([probe = std::move(probe)] { probe->Execute(); }).detach();
}

void TManualRunThread::Execute() const {
  // Whatever goes wrong (a configuration child without its attributes, say) ends this probe silently; the window
  // keeps its last state and the next tick tries again.
  try {
    Probe();
  } catch (...) {
  }
}

void TManualRunThread::Probe() const {
  TFormLink& form = *Form;
  // A window that failed to be made never says so; the probe then goes on, finds no window, and shows nothing.
  ::WaitForSingleObject(form.Shown.Get(), kWaitForWindowMs);
  if (form.HttpPort == -1) {
    const TComInit com; // the configuration reader needs COM on this thread; once the port is known, no probe does
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

} // namespace tsm
