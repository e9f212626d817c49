// How far the entities an XML file declares can make it grow. MSXML expands entities without any bound of its own, so
// a few lines of nested entities ("a" is ten "b"s, each ten "c"s, ...) would make every probe that reads the
// configuration grow until memory runs out. The reader hands the parser only files whose entities stay small.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tsm {

// The most characters that the references to the file's own general entities can expand to, all references counted
// wherever they stand (the declarations themselves included, so the figure errs high, never low). 0 for a file that
// declares no entity. Nothing (no bound) when the file declares a parameter entity, an entity that refers to itself
// through others, a chain of more than 64 entities each naming the next, or entities in UTF-16, which this reading of
// 8-bit text cannot follow. Figures past `cap` are reported as cap + 1.
[[nodiscard]] std::optional<std::uint64_t> EntityExpansion(std::string_view bytes, std::uint64_t cap);

} // namespace tsm
