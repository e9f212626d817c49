// tsm_bench_phases: where the panel's start-up time and memory go. Builds the panel's own window from its units
// inside this process and times each step from the inside, with the working set after it, so that the outside
// figures of tsm_bench can be taken apart.
//
//   tsm_bench_phases.exe [cold|warm]
//
// cold (the default) runs the steps in the panel's own order. warm first pays, each as a step of its own, for what
// the window's creation otherwise pays on the way: the first service-manager query, COM with the XML parser and the
// configuration read, and Winsock with the name look-up; the window's creation then shows what is left.
// A server that answers at once runs inside this process, and the working folder is a scratch folder whose
// configuration names it; its few threads are in the working set too.
#include "BenchClock.h"
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProcessGauge.h"

#include "config/ConfigLookup.h"
#include "http/HttpClient.h"
#include "panel/MainForm.h"
#include "core/ServerContract.h"
#include "service/ServiceInfo.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

using namespace tsm::test;

namespace {

constexpr int kTicks = 100;

double WorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) return 0;
  return static_cast<double>(memory.WorkingSetSize) / (1024.0 * 1024.0);
}

// Time from the process's creation to now, by the system's clock: the loader, the imports and the C++ runtime.
double SinceProcessCreationMs() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

class Phases {
public:
  Phases() : last_(NowMs()) { std::printf("  %-58s %10s %12s\n", "step", "ms", "working set"); }
  void Step(const char* what) {
    const double now = NowMs();
    std::printf("  %-58s %10.1f %8.1f MiB\n", what, now - last_, WorkingSetMiB());
    std::fflush(stdout);
    last_ = NowMs(); // the printing is not the next step's
  }

private:
  double last_;
};

// Mean and longest of a series of times.
class Spread {
public:
  void Add(double ms) {
    total_ += ms;
    longest_ = std::max(longest_, ms);
    ++count_;
  }
  void Print(const char* what) const {
    std::printf("  %-58s mean %6.2f ms, longest %6.2f ms\n", what, count_ ? total_ / count_ : 0.0, longest_);
  }

private:
  double total_ = 0;
  double longest_ = 0;
  int count_ = 0;
};

// The window's four fonts, each selected into a screen DC and measured, which is when the font system does its work.
void WarmFonts() {
  const tsm::WindowDC screen(nullptr);
  for (const auto& [height, weight] : {std::pair{11, FW_NORMAL}, {21, FW_BOLD}, {13, FW_NORMAL}, {11, FW_BOLD}}) {
    const tsm::UniqueFont font(CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                           DEFAULT_PITCH | FF_DONTCARE, "Tahoma"));
    const tsm::SelectedObject selected(screen.Get(), font.Get());
    SIZE size;
    GetTextExtentPoint32A(screen.Get(), "Torvale", 7, &size);
  }
}

void WarmPictures() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  for (const int id : {IDB_RUNNING, IDB_STOPPED, IDB_PENDING, IDB_GLYPH_REGISTER, IDB_GLYPH_START, IDB_GLYPH_STOP,
                       IDB_GLYPH_START_SERVICE, IDB_GLYPH_STOP_SERVICE})
    (void)tsm::LoadPicture(instance, id, tsm::Dpi(96));
}

// The one control of the common controls the window makes at start (its hints wait for the mouse).
void WarmCommonControls() {
  const HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
  if (bar) DestroyWindow(bar);
}

// Handles whatever is queued, the way the panel's loop does, until nothing is left.
void Pump(HWND window) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsDialogMessageA(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Runs the loop until the status text is no longer `from`; false after the bound.
bool PumpUntilStatusChanges(const tsm::TfrmMain& form, const std::string& from) {
  const ULONGLONG deadline = GetTickCount64() + kEventBoundMs;
  while (form.StatusText == from) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    Pump(form.Handle());
  }
  return true;
}

} // namespace

int main(int argc, char** argv) {
  try {
    const bool warm = argc > 1 && std::strcmp(argv[1], "warm") == 0;
    const double entry = SinceProcessCreationMs();
    // Each answer differs from the last, so every probe's update shows as a new status text.
    const LocalHttpServer server([](ServerConnection& c) {
      if (c.ReadRequest()) c.Send(HttpAnswer("<runningSince>" + std::to_string(c.Index()) + "</runningSince>"));
      c.Close();
    });
    const ScratchFolder work;
    WriteConfig(work, ConfigWithPort(server.Port()));
    const WorkingFolderScope inWork(work.Path());
    std::printf("%s start, working set at entry %.1f MiB, %.1f ms after the process was created\n",
                warm ? "Warm" : "Cold", WorkingSetMiB(), entry);
    Phases phases;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    phases.Step("InitCommonControlsEx");

    if (warm) {
      tsm::TServiceInfo first;
      (void)first.GetState(tsm::kServiceName);
      phases.Step("first service-manager query");
      tsm::TServiceInfo second;
      (void)second.GetState(tsm::kServiceName);
      phases.Step("second service-manager query");
      // On a thread of its own, as a probe does, so this thread's COM state stays as the panel's.
      std::thread([] {
        CoInitialize(nullptr);
        (void)tsm::ResolveHttpPort();
        CoUninitialize();
      }).join();
      phases.Step("COM, XML parser and configuration read (own thread)");
      std::string response;
      (void)tsm::HttpGet(tsm::kServerHost, tsm::kStatusPath, 1, response);
      phases.Step("Winsock, name look-up, refused connect");
      WarmFonts();
      phases.Step("4 fonts created and measured (Tahoma, as the window's)");
      WarmPictures();
      phases.Step("8 pictures loaded");
      WarmCommonControls();
      phases.Step("a status bar created and destroyed");
    }

    tsm::TfrmMain form(GetModuleHandleA(nullptr));
    phases.Step("window created, shown and updated (FormCreate included)");
    Pump(form.Handle());
    phases.Step("queue drained (controls painted)");
    if (!PumpUntilStatusChanges(form, kCheckingStatus)) throw std::runtime_error("the first probe never reported");
    phases.Step("first probe's update (in the loop)");

    // The tick handler's two steps, timed apart (tmrMainTimer is exactly these two, in this order).
    Spread query, probeStart, update;
    for (int i = 0; i < kTicks; ++i) {
      const std::string before = form.StatusText;
      const double t0 = NowMs();
      form.RefreshServiceStatus();
      const double t1 = NowMs();
      form.StartStatusProbe();
      const double t2 = NowMs();
      if (!PumpUntilStatusChanges(form, before)) throw std::runtime_error("a probe never reported");
      query.Add(t1 - t0);
      probeStart.Add(t2 - t1);
      update.Add(NowMs() - t2);
    }
    phases.Step("100 ticks, each with its update");
    query.Print("tick: service-manager query and display");
    probeStart.Print("tick: probe thread started");
    update.Print("probe start to its update handled");

    // The probe's own pieces, on a fresh thread each time as a probe runs. The port is known by now, so, like the
    // panel's probes from here on, they need no COM.
    Spread threadStart, exchange;
    for (int i = 0; i < kTicks; ++i) {
      const double t0 = NowMs();
      std::thread([&] {
        const double t1 = NowMs();
        std::string response;
        (void)tsm::HttpGet(tsm::kServerHost, tsm::kStatusPath, server.Port(), response);
        const double t2 = NowMs();
        threadStart.Add(t1 - t0);
        exchange.Add(t2 - t1);
      }).join();
    }
    threadStart.Print("probe piece: thread created to running");
    exchange.Print("probe piece: HttpGet, server answering at once");
    return 0;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tsm_bench_phases: %s\n", e.what());
    return 1;
  }
}
