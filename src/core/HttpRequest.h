// The exact bytes of the panel's HTTP requests. They go out in two sends, in this order.
#pragma once

#include <string>
#include <string_view>

namespace tsm {

[[nodiscard]] inline std::string HttpRequestLine(std::string_view path) {
  std::string line = "GET ";
  line.append(path).append(" HTTP/1.1\r\n");
  return line;
}

// Always names localhost, whatever host was connected to; no other header, and the connection is not asked to close.
inline constexpr std::string_view kHttpHostLines = "Host: localhost\r\n\r\n";

} // namespace tsm
