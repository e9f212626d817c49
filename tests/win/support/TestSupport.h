// TestSupport: the small things every Windows test here needs, whatever it drives: a bounded wait, an owner for a
// kernel handle, the test executable's folder, a free loopback port and a look at one, the server's configuration
// text, whether Wine is underneath, a script opened as the shell opens it, a child process, and a sweep for processes
// no handle of ours reaches.
//
// Nothing here knows the panel (see PanelDriver.h) or the stand-in server (see StandInHarness.h). Every wait is
// bounded; every process started or found here is ended by its owner.
#pragma once

#include "win32/KernelHandle.h"
#include "win32/Socket.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tsm::test {

// Bound for anything asynchronous: generous, because two cores are shared by everything under Wine. Never a
// measure of speed.
inline constexpr DWORD kDefaultWaitMs = 15000;
inline constexpr DWORD kPollIntervalMs = 25;

// Polls done() every kPollIntervalMs until it returns true (then true) or timeoutMs has passed (then false).
template <class Predicate> [[nodiscard]] bool WaitUntil(Predicate&& done, DWORD timeoutMs = kDefaultWaitMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPollIntervalMs);
  }
}

using tsm::UniqueHandle;

// Folder of the running test executable, with its trailing backslash; every built program and sample lies there.
// Throws std::runtime_error when the path cannot be read.
[[nodiscard]] std::string TestExeFolder();

// Whether path names a file (a folder does not count).
[[nodiscard]] bool FileExists(const std::string& path);

// A socket bound to a free loopback port, not listening: it holds the port, so nobody else can listen there while
// it lives. The caller's Winsock session must outlive it. Throws std::runtime_error when no socket can be had.
struct LoopbackSocket {
  UniqueSocket socket;
  std::int32_t port = 0;
};
[[nodiscard]] LoopbackSocket BindLoopback();

// A loopback port nothing listens on just now: bound to port 0, read back, released. Throws std::runtime_error when
// no socket can be had. Every configuration a test writes names one of these, never a fixed port.
[[nodiscard]] std::int32_t FreePort();

// Whether 127.0.0.1:port accepts a connection right now.
[[nodiscard]] bool AcceptsConnections(std::int32_t port);

// One child of the configuration's "parameters" element; an attribute that is nothing is left out.
struct ConfigParameter {
  std::optional<std::string> name;
  std::optional<std::string> value;
};
// A configuration (config\AppConfig.xml) laid out as the server's own sample: parameters two levels below the root,
// one child per entry.
[[nodiscard]] std::string ConfigXml(const std::vector<ConfigParameter>& parameters);
// The usual case: only httpPort, as a number or as any text.
[[nodiscard]] std::string ConfigWithPort(std::int32_t port);
[[nodiscard]] std::string ConfigWithPort(std::string_view portText);

// Wine's ntdll exports its version; Windows' does not. Some socket outcomes differ between the two.
[[nodiscard]] bool RunningUnderWine();

// Opens a script as the panel does (shell "open", hidden, no folder given: it runs in this process's working
// folder) and waits, bounded, for it to finish. False when the shell would not open it or it did not finish.
[[nodiscard]] bool RunScript(const std::string& path, DWORD timeoutMs = 30000);

// A process started here with a working folder of our choice and no console window; ended (TerminateProcess), if
// still running, when the owner goes. Started() tells whether it could be started.
class ChildProcess {
public:
  ChildProcess(const std::filesystem::path& exe, const std::filesystem::path& workingFolder);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&&) noexcept = default;
  ChildProcess& operator=(ChildProcess&&) = delete;

  [[nodiscard]] bool Started() const { return process_.Valid(); }
  [[nodiscard]] HANDLE Handle() const { return process_.Get(); }
  [[nodiscard]] bool Running() const;
  // The exit code once the process has ended within timeoutMs, else nothing.
  [[nodiscard]] std::optional<DWORD> WaitForExit(DWORD timeoutMs = 30000) const;

private:
  UniqueHandle process_;
};

// The running processes started from one executable (SweepBy::Image), or from any executable inside one folder
// (SweepBy::Folder), found by their image paths: what a script started (a grandchild through cmd.exe) is out of
// reach of any handle of ours. Whatever still runs is ended when the sweep goes.
enum class SweepBy { Image, Folder };

class ProcessSweep {
public:
  explicit ProcessSweep(const std::filesystem::path& path, SweepBy by = SweepBy::Image);
  ~ProcessSweep() { (void)EndAll(); }
  ProcessSweep(const ProcessSweep&) = delete;
  ProcessSweep& operator=(const ProcessSweep&) = delete;

  [[nodiscard]] std::size_t Count() const;
  // Terminates them and waits (bounded) until they have gone; returns how many there were.
  std::size_t EndAll() const;

private:
  std::string path_; // in full (long) form; for a folder, with its trailing backslash
  SweepBy by_;
};

} // namespace tsm::test
