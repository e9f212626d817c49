// The probe's worker thread: everything here but Start runs on it, never on the window's thread. It reaches the
// window only through the shared link and one synchronous message.
#include "panel/ServerProbe.h"

#include <exception>
#include <optional>
#include <variant>

#include "config/ConfigLookup.h"
#include "core/ServerContract.h"
#include "core/TagText.h"
#include "http/HttpClient.h"
#include "win32/ComInit.h"
#include "win32/GrowingText.h"
#include "win32/Thread.h"
#include "win32/WideText.h"

namespace tsm {
namespace {

constexpr DWORD kWaitForWindowMs = 10000;

// The configuration's path in full, as the explanation names it (UTF-8); the relative path if the system cannot say.
[[nodiscard]] std::string FullConfigPath() {
  const std::wstring relative = WideFromAnsi(kConfigPath);
  const std::optional<std::wstring> full = GrowingText(
      [&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(relative.c_str(), size, buffer, nullptr); });
  return full ? Utf8FromWide(*full) : kConfigPath;
}

[[nodiscard]] ClockTime Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wHour, now.wMinute, now.wSecond};
}

// The port, or nothing with the configuration's reason in result. A parameter the reader cannot read (one without
// its name, say) means no port parameter, and its error says why.
[[nodiscard]] std::optional<std::int32_t> PortOrReason(TProbeResult& result) {
  const TComInit com; // the configuration reader needs COM on this thread; once the port is known, no probe does
  std::variant<std::int32_t, NoPortReason> found;
  try {
    found = ReadHttpPort();
  } catch (const std::exception& e) {
    found = NoPortReason{ProbeOutcome::NoPortParameter, e.what(), 0, {}};
  }
  if (const auto* port = std::get_if<std::int32_t>(&found)) return *port;
  result.Why = std::get<NoPortReason>(found);
  result.Outcome = result.Why.Outcome;
  return std::nullopt;
}

} // namespace

void TServerProbe::Start(std::shared_ptr<TFormLink> link) {
  std::unique_ptr<TServerProbe> probe(new TServerProbe(std::move(link)));
  (void)StartThread([probe = std::move(probe)] { probe->Execute(); }); // runs on by itself
}

void TServerProbe::Execute() const {
  // Whatever goes wrong beyond what the result can tell (memory running out, say) ends this probe silently; the
  // window keeps its last state and the next tick tries again.
  try {
    Probe();
  } catch (...) {
  }
}

void TServerProbe::Probe() const {
  TFormLink& form = *Link;
  // A window that failed to be made never says so; the probe then goes on, finds no window, and shows nothing.
  ::WaitForSingleObject(form.Shown.Get(), kWaitForWindowMs);
  TProbeResult result;
  result.ConfigPath = FullConfigPath();
  if (form.HttpPort == -1) {
    const auto port = PortOrReason(result);
    if (port) form.HttpPort = *port;
  }

  if (form.HttpPort != -1) { // no port yet: nothing to ask, only the reason to tell
    result.Port = form.HttpPort;
    std::string response;
    const bool answered = HttpGet(kServerHost, kStatusPath, result.Port, response, kProbeExchangeBoundMs);
    if (answered) result.RunningSince = ExtractTagText(response, kRunningSinceTag);
    result.Outcome = !answered         ? ProbeOutcome::Refused
                     : response.empty() ? ProbeOutcome::Silent
                                        : ProbeOutcome::Answered;
  }
  result.At = Now();

  // Synchronous, so the result outlives the handler. A window closed meanwhile drops the message.
  if (const HWND window = form.Handle) ::SendMessageA(window, WM_STATUS_UPDATE, 0, reinterpret_cast<LPARAM>(&result));
}

} // namespace tsm
