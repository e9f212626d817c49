// The bound on entity expansion over arbitrary files: never out of bounds nor too deep, never past its cap, and the
// same figure under a larger cap whenever it stayed under the smaller one.
#include "core/EntityExpansion.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  constexpr std::uint64_t kSmall = 1000, kLarge = 1000000;
  const auto small = tsm::EntityExpansion(text, kSmall);
  const auto large = tsm::EntityExpansion(text, kLarge);
  if (small.has_value() != large.has_value()) std::abort();
  if (small && (*small > kSmall + 1 || *large > kLarge + 1)) std::abort();
  if (small && *small <= kSmall && *small != *large) std::abort();
  return 0;
}
