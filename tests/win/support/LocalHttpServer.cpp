#include "support/LocalHttpServer.h"

#include <winsock2.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace tsm::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a waiting thread looks at the stop flag.
constexpr milliseconds kPollSlice{20};

[[nodiscard]] bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

// Waits up to slice for socket to become readable (or writable); false on time-out or error.
[[nodiscard]] bool SelectOnce(SOCKET socket, bool write, milliseconds slice) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  const auto ms = static_cast<long>(slice.count());
  timeval wait{ms / 1000, (ms % 1000) * 1000};
  return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &wait) > 0;
}

} // namespace

// ---- ServerConnection -----------------------------------------------------------------------------------------

ServerConnection::ServerConnection(LocalHttpServer& server, std::size_t index, UniqueSocket socket) noexcept
    : server_(server), index_(index), socket_(std::move(socket)) {}

bool ServerConnection::Stopping() const noexcept { return server_.stopping_.load(); }

bool ServerConnection::WaitFor(bool write, Clock::time_point deadline) const {
  while (!Stopping()) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    if (SelectOnce(socket_.Get(), write, std::min(left, kPollSlice))) return true;
  }
  return false;
}

ServerConnection::Got ServerConnection::ReadSome() {
  char buffer[4096];
  const int got = recv(socket_.Get(), buffer, sizeof buffer, 0);
  if (got > 0) {
    server_.Record(index_, buffer, static_cast<std::size_t>(got));
    return Got::Bytes;
  }
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return Got::Nothing;
  return Got::End;
}

bool ServerConnection::ReadRequest(milliseconds timeout) {
  if (!Open()) return false;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::string received = Received();
    const auto end = received.find("\r\n\r\n", scanned_);
    if (end != std::string::npos) {
      scanned_ = end + 4;
      return true;
    }
    if (!WaitFor(false, deadline)) return false;
    if (ReadSome() == Got::End) return false;
  }
}

std::string ServerConnection::Received() const {
  const std::lock_guard lock(server_.mutex_);
  return server_.received_[index_];
}

bool ServerConnection::Send(std::string_view bytes) {
  if (!Open()) return false;
  while (!bytes.empty()) {
    if (Stopping()) return false;
    const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), 64 * 1024));
    const int sent = send(socket_.Get(), bytes.data(), size, 0);
    if (sent == SOCKET_ERROR) {
      if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
      static_cast<void>(SelectOnce(socket_.Get(), true, kPollSlice));
      continue;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool ServerConnection::Pause(milliseconds duration) {
  std::unique_lock lock(server_.mutex_);
  return !server_.changed_.wait_for(lock, duration, [this] { return Stopping(); });
}

void ServerConnection::HoldOpen(milliseconds limit) {
  if (!Open()) return;
  const auto deadline = Clock::now() + limit;
  while (WaitFor(false, deadline)) {
    if (ReadSome() == Got::End) return;
  }
}

std::uint64_t ServerConnection::SendForever(const std::function<std::string(std::uint64_t)>& chunk,
                                            milliseconds pause) {
  std::uint64_t sent = 0;
  while (Send(chunk(sent))) {
    ++sent;
    if (pause.count() > 0 && !Pause(pause)) break;
  }
  return sent;
}

void ServerConnection::Close() {
  if (!Open()) return;
  shutdown(socket_.Get(), SD_SEND);
  socket_.Reset();
}

void ServerConnection::Reset() {
  if (!Open()) return;
  const linger abortive{1, 0};
  setsockopt(socket_.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
  socket_.Reset();
}

// ---- Scripts --------------------------------------------------------------------------------------------------

namespace step {
Step ReadRequest() { return {Step::Kind::ReadRequest, {}, {}}; }
Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), {}}; }
Step Pause(milliseconds duration) { return {Step::Kind::Pause, {}, duration}; }
Step HoldOpen() { return {Step::Kind::HoldOpen, {}, {}}; }
Step SendForever(std::string chunk, milliseconds pause) { return {Step::Kind::SendForever, std::move(chunk), pause}; }
Step Close() { return {Step::Kind::Close, {}, {}}; }
Step Reset() { return {Step::Kind::Reset, {}, {}}; }
} // namespace step

std::string HttpAnswer(std::string_view body) {
  std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: ";
  answer.append(std::to_string(body.size())).append("\r\n\r\n").append(body);
  return answer;
}

Script AnswerAndClose(std::string answer) {
  return {step::ReadRequest(), step::Send(std::move(answer)), step::Close()};
}

Script AnswerAndHoldOpen(std::string answer) {
  return {step::ReadRequest(), step::Send(std::move(answer)), step::HoldOpen()};
}

namespace {

void RunScript(const Script& script, ServerConnection& connection) {
  for (const Step& s : script) {
    if (connection.Stopping()) return;
    switch (s.kind) {
    case Step::Kind::ReadRequest:
      static_cast<void>(connection.ReadRequest());
      break;
    case Step::Kind::Send:
      connection.Send(s.bytes);
      break;
    case Step::Kind::Pause:
      connection.Pause(s.duration);
      break;
    case Step::Kind::HoldOpen:
      connection.HoldOpen();
      break;
    case Step::Kind::SendForever:
      connection.SendForever([&s](std::uint64_t) { return s.bytes; }, s.duration);
      break;
    case Step::Kind::Close:
      connection.Close();
      break;
    case Step::Kind::Reset:
      connection.Reset();
      break;
    }
  }
}

} // namespace

// ---- LocalHttpServer ------------------------------------------------------------------------------------------

LocalHttpServer::LocalHttpServer(Script script, std::uint16_t port)
    : LocalHttpServer([script = std::move(script)](ServerConnection& connection) { RunScript(script, connection); },
                      port) {}

LocalHttpServer::LocalHttpServer(Handler handler, std::uint16_t port) : handler_(std::move(handler)) {
  if (!winsock_.Started()) throw std::runtime_error("WSAStartup failed");
  listener_.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (listener_.Get() == INVALID_SOCKET) throw SocketError("socket");
  if (port != 0) {
    // Lets a new server take a fixed port at once although the last one's connections linger in TIME_WAIT.
    const BOOL on = TRUE;
    if (setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0)
      throw SocketError("setsockopt");
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (bind(listener_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw SocketError("bind");
  int length = sizeof address;
  if (getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw SocketError("getsockname");
  port_ = ntohs(address.sin_port);
  if (listen(listener_.Get(), SOMAXCONN) != 0) throw SocketError("listen");
  if (!SetNonBlocking(listener_.Get())) throw SocketError("ioctlsocket");
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  // The acceptor is gone, so nothing adds to workers_ any more.
  for (std::thread& worker : workers_) worker.join();
}

void LocalHttpServer::AcceptLoop() {
  while (!stopping_.load()) {
    if (!SelectOnce(listener_.Get(), false, kPollSlice)) continue;
    UniqueSocket accepted(accept(listener_.Get(), nullptr, nullptr));
    if (accepted.Get() == INVALID_SOCKET || !SetNonBlocking(accepted.Get())) continue;
    {
      const std::lock_guard lock(mutex_);
      const std::size_t index = received_.size();
      received_.emplace_back();
      workers_.emplace_back([this, index, socket = std::move(accepted)]() mutable { Serve(index, std::move(socket)); });
    }
    changed_.notify_all();
  }
}

void LocalHttpServer::Serve(std::size_t index, UniqueSocket socket) {
  {
    ServerConnection connection(*this, index, std::move(socket));
    try {
      handler_(connection);
    } catch (...) {
      // A failing handler only ends its own connection.
    }
    connection.Close();
  }
  {
    const std::lock_guard lock(mutex_);
    ++finished_;
  }
  changed_.notify_all();
}

void LocalHttpServer::Record(std::size_t index, const char* bytes, std::size_t size) {
  {
    const std::lock_guard lock(mutex_);
    received_[index].append(bytes, size);
  }
  changed_.notify_all();
}

std::size_t LocalHttpServer::Connections() const {
  const std::lock_guard lock(mutex_);
  return received_.size();
}

std::vector<std::string> LocalHttpServer::Requests() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

bool LocalHttpServer::WaitForConnections(std::size_t count, DWORD timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, milliseconds(timeoutMs), [&] { return received_.size() >= count; });
}

bool LocalHttpServer::WaitForHandlers(DWORD timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, milliseconds(timeoutMs), [&] { return finished_ == received_.size(); });
}

} // namespace tsm::test
