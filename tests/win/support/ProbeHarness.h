// What the probe and run/stop tests need around a real panel: free loopback ports, the server's configuration file
// written into a working folder, the stand-in server as a process of its own, and a sweep that ends whatever a
// script started from a given executable. Every wait is bounded; every process started here is ended by its owner. A
// namespace of its own, so that it never meets the stand-in server's harness, which has helpers of the same names.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tsm::test::probe {

inline constexpr char kStatusRequest[] = "GET /app?operation=ws HTTP/1.1\r\nHost: localhost\r\n\r\n";
inline constexpr char kRunningSince[] = "Torvale is running since ";
inline constexpr char kNotRunning[] = "Torvale is NOT running";
inline constexpr char kCheckingStatus[] = "Checking status";

// Waits (bounded) until the status bar reads exactly want.
[[nodiscard]] bool WaitForStatus(const PanelDriver& panel, const std::string& want);

// A complete answer whose body is one runningSince element holding since.
[[nodiscard]] std::string SinceAnswer(const std::string& since);

// A loopback port nobody listens on right now: bound to port 0, read back, released.
[[nodiscard]] std::int32_t FreeLoopbackPort();

// Whether 127.0.0.1:port accepts a connection right now.
[[nodiscard]] bool AcceptsConnections(std::int32_t port);

// One child of the configuration's "parameters" element; an attribute that is nothing is left out.
struct ConfigParameter {
  std::optional<std::string> name;
  std::optional<std::string> value;
};

// A configuration laid out as the server's own: parameters two levels below the root, one child per entry.
[[nodiscard]] std::string ConfigXml(const std::vector<ConfigParameter>& parameters);
// The usual case: only httpPort.
[[nodiscard]] std::string ConfigWithPort(std::int32_t port);

// Writes config\AppConfig.xml below folder.
void WriteConfig(const ScratchFolder& folder, const std::string& xml);

// The system's own wording for an error code, as FormatMessage gives it (language neutral, default sub-language),
// trailing line break included; "" when there is none.
[[nodiscard]] std::string SystemMessage(DWORD code);

// The t and u of a stop request, cut out of the raw request bytes; nothing when the request line is not
// "GET /app?operation=ws&s=r&t=<t>&u=<u> HTTP/1.1" or the numbers are not plain signed decimal.
[[nodiscard]] std::optional<std::pair<std::int32_t, std::int32_t>> ParseStopRequest(std::string_view request);

// The hint (tooltip text) the panel shows for a control, read from its tooltip window through memory in the panel's
// process; nothing when the panel has no tooltip or no tool for that control.
[[nodiscard]] std::optional<std::string> ToolHint(const PanelDriver& panel, int id);

// A process started here with a working folder of our choice and no console window; terminated, if still running,
// when the owner goes.
class ChildProcess {
public:
  // Throws std::runtime_error when the process cannot be started.
  ChildProcess(const std::string& exe, const std::string& workingFolder);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&&) noexcept = default;
  ChildProcess& operator=(ChildProcess&&) = delete;

  [[nodiscard]] bool Running() const;
  // The exit code once the process has ended within timeoutMs.
  [[nodiscard]] std::optional<DWORD> WaitForExit(DWORD timeoutMs = kDefaultWaitMs) const;

private:
  UniqueHandle process_;
};

// Ends, when it goes, every process started from the executable at imagePath: what a script started (a grandchild
// through cmd.exe) is out of reach of any handle of ours.
class ImageProcessSweep {
public:
  explicit ImageProcessSweep(std::string imagePath) : imagePath_(std::move(imagePath)) {}
  ~ImageProcessSweep() { (void)EndAll(); }
  ImageProcessSweep(const ImageProcessSweep&) = delete;
  ImageProcessSweep& operator=(const ImageProcessSweep&) = delete;

  [[nodiscard]] std::size_t Count() const;
  // Terminates them and waits (bounded) until they have gone; returns how many there were.
  std::size_t EndAll() const;

private:
  std::string imagePath_;
};

} // namespace tsm::test::probe
