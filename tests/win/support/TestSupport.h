// TestSupport: the small things every Windows test here needs, whatever it drives: the bounded wait and its named
// bounds, an owner for a kernel handle, the path of a built file, a scratch folder, a file's bytes and a folder's
// state, a working-folder scope, a free loopback port and a look at one, the server's configuration text and where it
// goes, whether Wine is underneath, a script opened as the shell opens it, a child process, and a sweep for processes
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
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tsm::test {

// The bounds of every wait, named by what is awaited; a test names one of these, never a number. Each is generous,
// because two cores are shared by everything under Wine, and none is below 10 s: a test fails at a bound only because
// something never happened, never because it was slow (how fast anything happens is the benchmark's business).
inline constexpr DWORD kAnswerBoundMs = 10000;  // a round trip to a window's thread: past it, the window is hung
inline constexpr DWORD kEndBoundMs = 10000;     // a process ending once it has been closed or terminated
inline constexpr DWORD kEventBoundMs = 15000;   // a thing a program does by itself: update, connection, probe's end
inline constexpr DWORD kServiceBoundMs = 20000; // a service settling in a state, or leaving the manager's books
inline constexpr DWORD kStartBoundMs = 30000;   // a whole start or stop: window, listening port, exit; a script's run
inline constexpr DWORD kHostileBoundMs = 30000; // an exchange, or the panel's next step, while hostile servers stall
inline constexpr DWORD kBulkBoundMs = 60000;    // bulk: a hostile file of megabytes, a long stream, 1000 probes' end
inline constexpr DWORD kProbeBoundMs = 90000;   // a probe that ends by the rules, 2000 slow reads included
inline constexpr DWORD kPollIntervalMs = 25;    // the most time between two looks while waiting

// The one bounded wait: looks at done() at once, then 1, 2, 4 ... ms later up to pollMs apart, until it returns true
// (then true) or boundMs has passed (then false). The first looks come quickly, so a loop paced on it runs at the
// program's speed, and a long wait costs the shared cores little.
template <class Predicate>
[[nodiscard]] bool WaitUntil(Predicate&& done, DWORD boundMs = kEventBoundMs, DWORD pollMs = kPollIntervalMs) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  for (DWORD pause = 1;; pause = pause * 2 < pollMs ? pause * 2 : pollMs) {
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(pause);
  }
}

using tsm::UniqueHandle;

// The programs the build puts beside every test executable.
inline constexpr char kPanelExe[] = "TorvaleServiceManager.exe";
inline constexpr char kServerExe[] = "TorvaleServer.exe";
inline constexpr char kTestServiceExe[] = "tsm_test_service.exe";

// Path (UTF-8) of what the build put beside the running test executable, in the program's own ExecutableFolder():
// a program, a sample script, the sample configuration. Throws std::runtime_error when the system cannot say where
// the executable lies, so that no test looks for its files in the wrong place.
[[nodiscard]] std::string BuiltFile(std::string_view name);

// A fresh empty folder under %TEMP%, removed with all its contents when the object goes. Its name holds a blank, as
// "Program Files" does, so every script and command line that takes a path inside it must quote it. For a panel
// copy with scripts beside it, a server's folder, or a working folder with (or without) a configuration below it.
// Paths are UTF-8, as the panel holds its own, so that names outside the system's code page ("Панель Ω") can be
// made and used.
class ScratchFolder {
public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ScratchFolder(ScratchFolder&& other) noexcept;
  ScratchFolder& operator=(ScratchFolder&&) = delete;

  // The folder, without a trailing separator.
  [[nodiscard]] const std::string& Path() const { return path_; }
  // Path of `relative` inside the folder ("config\\AppConfig.xml").
  [[nodiscard]] std::string PathOf(const std::string& relative) const;
  // Writes `bytes` exactly (binary) to `relative`, creating the folders on the way; throws on failure.
  void Write(const std::string& relative, const std::string& bytes) const;
  // Copies the file `source` to `relative` (its own name when empty), replacing what is there; returns the new path;
  // throws on failure.
  std::string CopyIn(const std::string& source, const std::string& relative = {}) const;

private:
  std::string path_;
};

// Every byte of the file, or "" when it cannot be read.
[[nodiscard]] std::string ReadFileBytes(const std::filesystem::path& path);

// Every entry below root, by its relative path, with its size, last write time and (for a file) its bytes: the same
// before and after, nothing in the folder was written.
using FolderState = std::map<std::string, std::tuple<std::uintmax_t, std::filesystem::file_time_type, std::string>>;
[[nodiscard]] FolderState StateOf(const std::filesystem::path& root);

// The process's working folder for the scope, put back when it goes. Throws std::runtime_error when the folder
// cannot be entered, so a test never runs in the wrong folder.
class WorkingFolderScope {
public:
  explicit WorkingFolderScope(const std::filesystem::path& folder);
  ~WorkingFolderScope();
  WorkingFolderScope(const WorkingFolderScope&) = delete;
  WorkingFolderScope& operator=(const WorkingFolderScope&) = delete;

private:
  std::string previous_;
};

// A socket bound to a free loopback port, not listening: it holds the port, so nobody else can listen there while
// it lives. The caller's Winsock session must outlive it. Throws std::runtime_error when no socket can be had.
struct LoopbackSocket {
  UniqueSocket socket;
  std::int32_t port = 0;
};
[[nodiscard]] LoopbackSocket BindLoopback();

// A loopback port nothing listens on just now: bound, then released. Throws std::runtime_error when
// no socket can be had. Every configuration a test writes names one of these, never a fixed port.
[[nodiscard]] std::int32_t FreePort();

// Connects s to 127.0.0.1:port; whether it connected.
[[nodiscard]] bool ConnectLoopback(SOCKET s, std::int32_t port);
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
// Writes xml as the configuration below folder (config\AppConfig.xml), where the panel and the stand-in server look
// for it when folder is their working folder; throws on failure.
void WriteConfig(const ScratchFolder& folder, const std::string& xml);

// Wine's ntdll exports its version; Windows' does not. Some socket outcomes differ between the two.
[[nodiscard]] bool RunningUnderWine();

// Opens a script as the panel does (shell "open", hidden, no folder given: it runs in this process's working
// folder) and waits, bounded, for it to finish. False when the shell would not open it or it did not finish.
[[nodiscard]] bool RunScript(const std::string& path, DWORD timeoutMs = kStartBoundMs);

// A process started here with a working folder of our choice (and, by default, no console window); ended
// (TerminateProcess), if still running, when the owner goes. Started() tells whether it could be started, and
// StartError() why not. The one way the tests start a program: a start Wine refuses with ERROR_INTERNAL_ERROR, which
// it has done once in many hundred starts under load, is tried again a few times, each retry said on stderr.
class ChildProcess {
public:
  ChildProcess(const std::filesystem::path& exe, const std::filesystem::path& workingFolder,
               DWORD creationFlags = CREATE_NO_WINDOW);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&&) noexcept = default;
  ChildProcess& operator=(ChildProcess&&) = delete;

  [[nodiscard]] bool Started() const { return process_.Valid(); }
  [[nodiscard]] DWORD StartError() const { return startError_; }
  [[nodiscard]] HANDLE Handle() const { return process_.Get(); }
  [[nodiscard]] DWORD Id() const { return id_; }
  [[nodiscard]] bool Running() const;
  // The exit code once the process has ended within timeoutMs, else nothing.
  [[nodiscard]] std::optional<DWORD> WaitForExit(DWORD timeoutMs = kStartBoundMs) const;

private:
  UniqueHandle process_;
  DWORD id_ = 0;
  DWORD startError_ = 0;
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
