// The text of the box that shows an exception nobody else caught.
#pragma once

#include <string>
#include <string_view>

namespace tsm {

// The message with a full stop appended when its last character sorts after '.', so that "Disk full" reads as a
// sentence while "Done." or "Failed:" stay as they are; an empty message stays empty.
[[nodiscard]] inline std::string ExceptionBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

} // namespace tsm
