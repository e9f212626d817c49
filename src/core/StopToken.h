// The token that makes the server agree to stop: t chosen at random, u derived from it.
#pragma once

#include <cstdint>
#include <string>

namespace tsm {

struct StopToken {
  std::int32_t t;
  std::int32_t u;
};

inline constexpr std::int32_t kStopTokenLowest = 100;
inline constexpr std::int32_t kStopTokenSpan = 100; // t is drawn from 100..199

// u = t * kStopConstant - t, in 32-bit two's-complement arithmetic (done unsigned, so it wraps without UB).
[[nodiscard]] StopToken MakeStopToken(std::int32_t t);

// Whether u checks out against t: what the server asks before it stops.
[[nodiscard]] bool StopTokenChecks(std::int32_t t, std::int32_t u);

// "/app?operation=ws&s=r&t=<t>&u=<u>", both in signed decimal.
[[nodiscard]] std::string StopRequestPath(const StopToken& token);

} // namespace tsm
