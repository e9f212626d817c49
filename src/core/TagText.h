// Cutting one element's text out of a server answer without parsing it.
#pragma once

#include <string>
#include <string_view>

namespace tsm {

// The text between the first "<tag>" and the first "</tag>" in data, searched independently from the start; empty
// when either is missing or the closing tag does not come after the opening one. Nothing is unescaped or trimmed,
// and an opening tag with attributes or blanks is not recognised.
[[nodiscard]] std::string ExtractTagText(std::string_view data, std::string_view tag);

} // namespace tsm
