#include "core/TagText.h"

namespace tsm {

std::string ExtractTagText(std::string_view data, std::string_view tag) {
  std::string open = "<";
  open.append(tag).append(">");
  std::string close = "</";
  close.append(tag).append(">");
  const auto s = data.find(open);
  const auto e = data.find(close);
  if (s == std::string_view::npos || e == std::string_view::npos) return {};
  const auto start = s + open.size();
  if (e <= start) return {};
  return std::string(data.substr(start, e - start));
}

} // namespace tsm
