// One whole life of the panel, as a user lives it, against the stand-in server and its own sample scripts under
// Wine's real shell and service manager: register the service, start and stop it, remove it, then run the server
// as an application and stop it from the panel. Everything runs from one scratch folder: the panel, the server, the
// scripts, and the configuration (which the panel reads below its working folder and the service beside its exe).
//
// With TSM_SCREENSHOT_DIR set to a folder (Windows form), the window is saved there as a 24-bit BMP at each state.
#include "support/PanelDriver.h"
#include "support/TestServices.h"

#include "http/HttpClient.h"
#include "core/ServerContract.h"
#include "win32/ServiceHandle.h"
#include "core/TagText.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tsm::test;

// What the server says it has been running since, or nothing when it does not accept the status request.
std::optional<std::string> ServerSince(std::int32_t port) {
  std::string response;
  if (!tsm::HttpGet(tsm::kServerHost, tsm::kStatusPath, port, response)) return std::nullopt;
  return tsm::ExtractTagText(response, tsm::kRunningSinceTag);
}

// The service as the manager sees it, for failure messages.
std::string ServiceReport() {
  const tsm::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const tsm::ServiceHandle service(manager ? OpenServiceA(manager.Get(), tsm::kServiceName, SERVICE_QUERY_STATUS)
                                           : nullptr);
  SERVICE_STATUS status{};
  if (!service || !QueryServiceStatus(service.Get(), &status)) return "the service cannot be queried";
  return "service state " + std::to_string(status.dwCurrentState) + ", exit code " +
         std::to_string(status.dwWin32ExitCode) + "/" + std::to_string(status.dwServiceSpecificExitCode);
}

// Saves the panel's window, as it is on screen, to <TSM_SCREENSHOT_DIR>\<name>.bmp; nothing when that is unset.
void Screenshot(const PanelDriver& panel, const char* name) {
  char folder[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("TSM_SCREENSHOT_DIR", folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  (void)CreateDirectoryA(folder, nullptr);
  // Whatever was hidden or changed a moment ago is painted before the pixels are read.
  (void)RedrawWindow(panel.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  panel.Sync();
  const Pixels shot = panel.CaptureControl(0);
  const int stride = (shot.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = shot.width;
  info.biHeight = shot.height; // bottom-up, as every viewer expects
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(stride) * shot.height;
  file.bfType = 0x4D42; // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::vector<char> rows(info.biSizeImage, 0);
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      const std::uint32_t rgb = shot.At(x, y);
      char* p = &rows[static_cast<size_t>(shot.height - 1 - y) * stride + static_cast<size_t>(x) * 3];
      p[0] = static_cast<char>(rgb & 0xFF);
      p[1] = static_cast<char>((rgb >> 8) & 0xFF);
      p[2] = static_cast<char>((rgb >> 16) & 0xFF);
    }
  std::ofstream out(std::string(folder) + "\\" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
  EXPECT_TRUE(out.good()) << "cannot save the screenshot " << name;
}

[[nodiscard]] bool RequestSentShown(const PanelDriver& panel) {
  return panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && panel.IsShown(IDC_LBLREQUESTSENTREGISTERED);
}
[[nodiscard]] bool RequestSentGone(const PanelDriver& panel) {
  return !panel.IsShown(IDC_LBLREQUESTSENTUNREGISTERED) && !panel.IsShown(IDC_LBLREQUESTSENTREGISTERED);
}

// Clicks and waits for the click's effect; a message box instead is a failure that says what it says. The effect is
// not the request-sent labels but for the first click: a status update from an earlier tick may hide them at once.
template <class Effect>
[[nodiscard]] ::testing::AssertionResult ClickFor(const PanelDriver& panel, int id, Effect&& effect) {
  if (!panel.Click(id)) return ::testing::AssertionFailure() << "the button is not there to click";
  std::optional<MessageBoxInfo> box;
  if (WaitUntil([&] { return effect() || (box = panel.FindMessageBox()).has_value(); }, kServiceBoundMs) && !box)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << (box ? "message box: \"" + box->text + "\"" : "the click had no effect");
}

// The registered page with the given light and service buttons.
void ExpectRegistered(const PanelDriver& panel, Light light, bool startEnabled, bool stopEnabled) {
  EXPECT_EQ(panel.ActivePage(), IDC_TBREGISTERED);
  EXPECT_TRUE(WaitUntil([&] { return panel.StatusLight() == light; })) << panel.StatusLight();
  EXPECT_EQ(panel.IsEnabled(IDC_BTNSTARTSERVICE), startEnabled);
  EXPECT_EQ(panel.IsEnabled(IDC_BTNSTOPSERVICE), stopEnabled);
}

void ExpectRunButton(const PanelDriver& panel, const char* caption, int glyph) {
  EXPECT_TRUE(panel.IsEnabled(IDC_BTNSERVERSTARTSTOP));
  EXPECT_EQ(panel.Text(IDC_BTNSERVERSTARTSTOP), caption);
  // The button shows its new glyph when it is next painted, which a busy machine may put off a little.
  EXPECT_TRUE(WaitUntil([&] { return panel.ShowsPicture(IDC_BTNSERVERSTARTSTOP, glyph); }));
}

TEST(PanelLife, RegisterStartStopRemoveThenRunAndStopAsAnApplication) {
  const ScratchFolder folder;
  PanelOptions options;
  options.exePath = folder.CopyIn(BuiltFile(kPanelExe));
  options.workingFolder = folder.Path();
  const ProcessSweep servers(folder.CopyIn(BuiltFile(kServerExe)));
  for (const char* script : {tsm::kInstallScript, tsm::kRunScript, "UninstallService.bat"})
    (void)folder.CopyIn(BuiltFile(script));
  const std::int32_t port = FreePort();
  ASSERT_GT(port, 0);
  folder.Write(tsm::kConfigPath, ConfigWithPort(port));
  const ServiceGuard service(tsm::kServiceName);
  const auto serviceState = [] { return QueryTestServiceState(tsm::kServiceName); };
  const PanelDriver panel(options);

  // Nothing registered, nothing running.
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == kNotRunning; })) << panel.StatusText();
  EXPECT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);
  ExpectRunButton(panel, "Start Torvale", IDB_GLYPH_START);
  Screenshot(panel, "unregistered");

  // Register: the sample install script runs, and the panel says a request went out.
  ASSERT_TRUE(ClickFor(panel, IDC_BTNREGISTER, [&] { return RequestSentShown(panel); }));
  EXPECT_TRUE(panel.IsVisible(IDC_LBLREQUESTSENTUNREGISTERED));
  EXPECT_TRUE(WaitUntil([&] { return panel.ShowsWaitCursor(); })) << "no hourglass";
  Screenshot(panel, "request-sent");
  ASSERT_TRUE(WaitUntil([&] { return serviceState() != 0; }, kServiceBoundMs))
      << "the install script registered no service";

  // The next tick shows it registered and stopped; its status update ends the indication.
  panel.Tick();
  ExpectRegistered(panel, Light::Stopped, true, false);
  ASSERT_TRUE(WaitUntil([&] { return RequestSentGone(panel); }));
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.StatusText(), kNotRunning);
  Screenshot(panel, "registered-stopped");

  // Start Service. A tick at once catches it starting or already up.
  ASSERT_TRUE(ClickFor(panel, IDC_BTNSTARTSERVICE, [&] { return serviceState() > SERVICE_STOPPED; }));
  panel.Tick();
  Light early = Light::None;
  EXPECT_TRUE(WaitUntil([&] { return (early = panel.StatusLight()) == Light::Pending || early == Light::Running; }))
      << early << "; " << ServiceReport();
  if (early == Light::Pending) Screenshot(panel, "pending");
  ASSERT_TRUE(WaitForServiceState(tsm::kServiceName, SERVICE_RUNNING)) << ServiceReport();
  const std::optional<std::string> serviceSince = ServerSince(port);
  ASSERT_TRUE(serviceSince && !serviceSince->empty()) << "the service does not answer on its port";
  panel.Tick();
  ExpectRegistered(panel, Light::Running, false, true);
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == kRunningSince + *serviceSince; })) << panel.StatusText();
  EXPECT_TRUE(RequestSentGone(panel));
  Screenshot(panel, "running");

  // Stop Service; once the manager has it stopped, the next tick shows red and the probe finds nobody.
  ASSERT_TRUE(ClickFor(panel, IDC_BTNSTOPSERVICE, [&] { return serviceState() != SERVICE_RUNNING; }));
  ASSERT_TRUE(WaitForServiceState(tsm::kServiceName, SERVICE_STOPPED)) << ServiceReport();
  panel.Tick();
  ExpectRegistered(panel, Light::Stopped, true, false);
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == kNotRunning; })) << panel.StatusText();
  EXPECT_TRUE(RequestSentGone(panel));
  Screenshot(panel, "stopped");

  // The sample uninstall script removes the service: back to the unregistered page.
  ASSERT_TRUE(RunScript(folder.PathOf("UninstallService.bat"), kServiceBoundMs));
  ASSERT_TRUE(WaitUntil([&] { return serviceState() == 0; }, kServiceBoundMs));
  panel.Tick();
  EXPECT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);
  ExpectRunButton(panel, "Start Torvale", IDB_GLYPH_START);

  // Run the server as an application through the sample run script, from the panel.
  std::optional<std::string> appSince;
  ASSERT_TRUE(ClickFor(panel, IDC_BTNSERVERSTARTSTOP, [&] { return (appSince = ServerSince(port)).has_value(); }))
      << "run.bat started no server";
  EXPECT_EQ(servers.Count(), 1u);
  panel.Tick();
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == kRunningSince + *appSince; })) << panel.StatusText();
  EXPECT_TRUE(RequestSentGone(panel));
  EXPECT_FALSE(panel.ShowsWaitCursor());
  EXPECT_EQ(panel.ActivePage(), IDC_TBUNREGISTERED);
  ExpectRunButton(panel, "Stop Torvale", IDB_GLYPH_STOP);
  Screenshot(panel, "app-running");

  // Stop Torvale: the server takes the stop request and ends; the next tick says so.
  ASSERT_TRUE(ClickFor(panel, IDC_BTNSERVERSTARTSTOP, [&] { return servers.Count() == 0; }))
      << "the server did not stop";
  panel.Tick();
  ASSERT_TRUE(WaitUntil([&] { return panel.StatusText() == kNotRunning; })) << panel.StatusText();
  ExpectRunButton(panel, "Start Torvale", IDB_GLYPH_START);
}

} // namespace
