#include "http/HttpClient.h"

#include "core/HttpExchange.h"
#include "win32/Socket.h"

#include <winsock2.h>
#include <mstcpip.h>

#include <chrono>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>

namespace tsm {
namespace {

// The first IPv4 address the name resolves to. A name that does not resolve gives nothing rather than 0.0.0.0:
// Windows refuses to connect there, but Wine hands it to Linux, which quietly connects to the local host.
[[nodiscard]] std::optional<in_addr> FirstAddress(const std::string& host) {
  const hostent* entry = gethostbyname(host.c_str());
  if (!entry || entry->h_addrtype != AF_INET || entry->h_length != sizeof(in_addr) || !entry->h_addr_list ||
      !entry->h_addr_list[0])
    return std::nullopt;
  in_addr address;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  if (address.s_addr == INADDR_ANY) return std::nullopt;
  return address;
}

[[nodiscard]] std::int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One session from the first exchange that brings the library up until the process ends: when overlapping probes
// each brought it up and down, Wine now and then lost a socket and failed a connection. A start that fails is tried
// again at the next exchange, so that a passing failure does not leave the server reading as down for good.
[[nodiscard]] bool WinsockStarted() {
  static std::mutex guard;
  static std::optional<WinsockSession> session;
  const std::lock_guard lock(guard);
  if (!session || !session->Started()) session.emplace();
  return session->Started();
}

// A blocking TCP client connection as the exchange wants it: errors are thrown, a read that times out reads nothing.
class BlockingConnection {
public:
  BlockingConnection(in_addr address, std::uint16_t port) : socket_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
    if (!socket_) throw SocketError("socket");
    RefuseAtOnce();
    SendWithoutDelay();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    peer.sin_port = htons(port);
    if (connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR)
      throw SocketError("connect");
    const DWORD timeout = kHttpReadTimeoutMs;
    if (setsockopt(socket_.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout) ==
        SOCKET_ERROR)
      throw SocketError("setsockopt");
  }

  [[nodiscard]] std::size_t Send(std::string_view bytes) {
    const int sent = send(socket_.Get(), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent == SOCKET_ERROR) throw SocketError("send");
    return static_cast<std::size_t>(sent);
  }

  [[nodiscard]] bool WaitReadable(int ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_.Get(), &readable);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) > 0;
  }

  [[nodiscard]] std::int64_t NowMs() const { return SteadyNowMs(); }

  [[nodiscard]] std::size_t Read(char* buffer, std::size_t size) {
    const int got = recv(socket_.Get(), buffer, static_cast<int>(size), 0);
    if (got != SOCKET_ERROR) return static_cast<std::size_t>(got);
    const int code = WSAGetLastError();
    if (code == WSAETIMEDOUT) return 0;
    throw SocketError("recv", code);
  }

private:
  // Windows sends a connection request again when the first is refused, so a server that is down costs the probe
  // about two seconds (Windows 8 and later can be told not to). The server is on this machine: a refusal is an
  // answer, not a lost packet. Where the call fails (an older system, Wine) the connection goes on as it always did.
  void RefuseAtOnce() {
    TCP_INITIAL_RTO_PARAMETERS once{TCP_INITIAL_RTO_UNSPECIFIED_RTT, TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS};
    DWORD returned = 0;
    (void)WSAIoctl(socket_.Get(), SIO_TCP_INITIAL_RTO, &once, sizeof once, nullptr, 0, &returned, nullptr, nullptr);
  }

  // The request goes out in two sends, and with Nagle's algorithm the second would wait for the acknowledgement of
  // the first (up to the peer's delayed-ACK time). The bytes are the same either way, so a refusal is no reason to
  // give up the exchange.
  void SendWithoutDelay() {
    const BOOL on = TRUE;
    (void)setsockopt(socket_.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  }

  UniqueSocket socket_;
};

} // namespace

bool HttpGet(const std::string& host, const std::string& path, std::int32_t port, std::string& response,
             std::int64_t boundMs) {
  const std::int64_t start = SteadyNowMs();
  const std::int64_t deadline = boundMs >= kNoExchangeBound - start ? kNoExchangeBound : start + boundMs;
  response.clear();
  try {
    if (!WinsockStarted()) return false;
    const std::optional<in_addr> address = FirstAddress(host);
    if (!address) return false;
    BlockingConnection connection(*address, PortOnTheWire(port));
    return RunHttpExchange(connection, path, response, deadline);
  } catch (const std::exception&) {
    response.clear();
    return false;
  }
}

} // namespace tsm
