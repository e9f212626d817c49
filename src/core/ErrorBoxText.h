// The text of the box that shows an exception nobody else caught.
#pragma once

#include <string>
#include <string_view>

namespace tsm {

// The message with a full stop appended when its last character sorts after '.', so that "Disk full" reads as a
// sentence and "Done." stays as it is. Only the order counts, not the meaning: "Failed:" becomes "Failed:.", while
// "Odd-" stays as it is. An empty message stays empty.
[[nodiscard]] inline std::string ExceptionBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

} // namespace tsm
