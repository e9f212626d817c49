// Cutting a tag's text out of arbitrary answers: never out of bounds, and always exactly what lies between.
#include "core/TagText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The first byte picks how much of the input is the tag name, the rest is the answer.
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  const std::size_t tagLength = bytes[0] % 8 < input.size() ? bytes[0] % 8 : input.size();
  const std::string_view tag = input.substr(0, tagLength);
  const std::string_view data = input.substr(tagLength);

  const std::string text = tsm::ExtractTagText(data, tag);
  if (text.empty()) return 0;
  const std::string open = "<" + std::string(tag) + ">";
  const std::string close = "</" + std::string(tag) + ">";
  const auto s = data.find(open);
  if (s == std::string_view::npos) std::abort();
  if (data.substr(s + open.size(), text.size()) != text) std::abort();
  if (data.find(close) != s + open.size() + text.size()) std::abort();
  return 0;
}
