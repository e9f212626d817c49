// What the panel relies on from the Torvale server it manages: the names, paths and requests both sides agree on.
#pragma once

#include <cstdint>

namespace tsm {

inline constexpr char kServiceName[] = "Torvale";
inline constexpr char kInstallScript[] = "InstallService.bat"; // next to the panel's executable
inline constexpr char kRunScript[] = "run.bat";                // next to the panel's executable
inline constexpr char kConfigPath[] = "config\\AppConfig.xml"; // relative to the working folder

inline constexpr char kParametersElement[] = "parameters";
inline constexpr int kParametersDepth = 3;
inline constexpr char kPortParameter[] = "httpPort2";
inline constexpr char kFallbackPortParameter[] = "httpPort";

inline constexpr char kServerHost[] = "localhost";
inline constexpr char kStatusPath[] = "/app?operation=ws";
inline constexpr char kRunningSinceTag[] = "runningSince";

// The server stops only for a request whose u equals t * kStopConstant - t (32-bit wrap-around).
inline constexpr std::int32_t kStopConstant = 7919;

} // namespace tsm
