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
// declares no entity. Every `<!ENTITY` in the file counts as a declaration, those in comments and literals too, and a
// name declared more than once counts at its largest; an entity's value counts as the parser keeps it, its character
// references replaced (so "&#38;x;" in a value is a reference to x).
//
// Nothing (no bound) when the file declares a parameter entity, an entity that refers to itself through others, an
// attribute default that refers to a declared entity (every `<!ATTLIST` counts, as every `<!ENTITY` does), a
// chain of more than 64 entities each naming the next (as the first reference into it meets it), a value whose
// character references make a "%" or spell part of an entity's name outside ASCII, or when the parser might read the
// bytes as other characters than this reading does: UTF-16 is read as such (with a byte-order mark, or a declaration
// in it); 8-bit text must be strict UTF-8 unless it declares ISO-8859-n or windows-125n; any other encoding declared,
// a second declaration, NUL bytes before the trailing ones, or a start that may be in another encoding (a first byte
// past ASCII, or EBCDIC's "<?xm", whose first byte is an ASCII 'L') are refused. Figures past `cap` are reported as
// cap + 1.
[[nodiscard]] std::optional<std::uint64_t> EntityExpansion(std::string_view bytes, std::uint64_t cap);

} // namespace tsm
