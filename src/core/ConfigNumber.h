// Numbers as the server's configuration writes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tsm {

// A signed 32-bit integer, or nothing for text that is not one. Leading blanks (spaces only) are skipped; then an
// optional sign and either decimal digits, or hexadecimal digits after "$", "x" or "0x" (any case). Nothing may
// follow the digits. Decimal must fit in 32 signed bits; hexadecimal may have up to eight significant digits and is
// taken as a 32-bit pattern, so "$FFFFFFFF" is -1.
[[nodiscard]] std::optional<std::int32_t> ParseConfigInt(std::string_view text);

inline constexpr std::int32_t kHighestPort = 65535;

// A TCP port the panel may talk to: a number from 1 to 65535. Anything above would lose its high bits on the way to
// the socket and reach some other program's port, so it counts as no port at all.
[[nodiscard]] std::optional<std::int32_t> PortFromConfigText(std::string_view text);

} // namespace tsm
