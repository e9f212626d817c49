#include "core/StopToken.h"

#include "core/ServerContract.h"

namespace tsm {

StopToken MakeStopToken(std::int32_t t) {
  const auto ut = static_cast<std::uint32_t>(t);
  const auto u = ut * static_cast<std::uint32_t>(kStopConstant) - ut;
  return {t, static_cast<std::int32_t>(u)};
}

bool StopTokenChecks(std::int32_t t, std::int32_t u) { return MakeStopToken(t).u == u; }

std::string StopRequestPath(const StopToken& token) {
  std::string path = kStatusPath;
  path.append("&s=r&t=").append(std::to_string(token.t)).append("&u=").append(std::to_string(token.u));
  return path;
}

} // namespace tsm
