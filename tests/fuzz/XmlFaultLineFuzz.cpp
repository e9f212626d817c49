// Looking for the faulty line in arbitrary bytes: never out of bounds, and never a line the text does not have.
#include "core/XmlFaultLine.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto breaks = static_cast<int>(std::count(text.begin(), text.end(), '\n') + std::count(text.begin(), text.end(), '\r'));
  const int line = tsm::XmlFaultLine(text);
  if (line < 0 || line > breaks + 1) std::abort();
  return 0;
}
