// The read loop against a connection whose every answer comes from the fuzzer: chunk sizes, NULs, silences, errors.
#include "core/HttpExchange.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

class FuzzedConnection {
public:
  FuzzedConnection(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Send(std::string_view bytes) {
    if (Next() == 0xFF) throw std::runtime_error("send failed");
    sent_ += bytes;
    return bytes.size();
  }
  // Each wait takes some of the time it was given, all of it when it ends in silence.
  bool WaitReadable(int ms) {
    if (ms <= 0 || nowMs_ >= kDeadlineMs || ms > kDeadlineMs - nowMs_) std::abort(); // a wait past the deadline
    const bool readable = pos_ < size_ && Next() % 16 != 0;
    nowMs_ += readable ? Next() * 8 % (ms + 1) : ms;
    return readable;
  }
  std::int64_t NowMs() const { return nowMs_; }
  static constexpr std::int64_t kDeadlineMs = 4500;
  std::size_t Read(char* buffer, std::size_t capacity) {
    const std::uint8_t op = Next();
    if (op == 0xFE) throw std::runtime_error("read failed");
    std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(op) * 5, capacity, size_ - pos_});
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    received_.append(buffer, n);
    return n;
  }

  std::string sent_, received_;
  int reads_ = 0;

private:
  std::uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::int64_t nowMs_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedConnection connection(data, size);
  std::string response = "stale";
  const bool ok = tsm::RunHttpExchange(connection, "/app?operation=ws", response, FuzzedConnection::kDeadlineMs);
  if (!ok && !response.empty()) std::abort();
  if (ok) {
    // What was kept is what was received, less what followed a NUL within each chunk: never more.
    if (response.size() > connection.received_.size()) std::abort();
    if (response.find('\0') != std::string::npos) std::abort();
    if (connection.sent_ != "GET /app?operation=ws HTTP/1.1\r\nHost: localhost\r\n\r\n") std::abort();
  }
  return 0;
}
