// Where a file that is not well-formed XML goes wrong, for a reader that says only that it does (Wine's MSXML gives
// the one word "error" and no line).
#pragma once

#include <string_view>

namespace tsm {

// The line (counted from 1; CR LF, CR and LF each end one) of the first fault of the document's structure: a tag or
// attribute that is not closed or quoted, an end tag that does not match the open element, a second root element,
// text outside the root, or, at the end of the file, an element still open or no root at all (the last line then).
// 0 when the structure holds, or when elements nest more than 4096 deep: the fault, if there is one, is of a kind this does not look for (an undefined entity,
// a character the encoding does not allow, say).
[[nodiscard]] int XmlFaultLine(std::string_view document);

} // namespace tsm
