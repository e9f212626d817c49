#include "StandInServer.h"

#include "Request.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace tsm::standin {

namespace {

// How long a client may take to send its request head, in all.
constexpr ULONGLONG kHeadTimeoutMs = 5000;
// How long, after answering, unread input is drained so that closing does not reset the connection under the answer.
constexpr ULONGLONG kDrainTimeoutMs = 1000;
// Waits are cut into slices this long so that a stopping server does not sit out a slow client.
constexpr ULONGLONG kSliceMs = 100;
constexpr DWORD kSendTimeoutMs = 5000;
constexpr DWORD kBacklogCheckMs = 500;

// Whether s has something to read (or has been closed) within ms.
[[nodiscard]] bool WaitReadable(SOCKET s, ULONGLONG ms, bool& failed) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait{};
  wait.tv_sec = static_cast<long>(ms / 1000);
  wait.tv_usec = static_cast<long>(ms % 1000 * 1000);
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  failed = ready == SOCKET_ERROR;
  return ready > 0;
}

[[nodiscard]] bool SendAll(SOCKET s, std::string_view data) {
  while (!data.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 65536));
    const int sent = send(s, data.data(), chunk, 0);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Sends our FIN, then reads and drops whatever the client still sends for a short while: closing a socket with
// unread input resets the connection, and a reset can destroy the answer before the client has read it.
void CloseGracefully(UniqueSocket& s) {
  (void)shutdown(s.Get(), SD_SEND);
  const auto deadline = GetTickCount64() + kDrainTimeoutMs;
  char sink[1024];
  for (auto now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    bool failed = false;
    if (!WaitReadable(s.Get(), std::min(deadline - now, kSliceMs), failed)) {
      if (failed) break;
      continue;
    }
    if (recv(s.Get(), sink, sizeof sink, 0) <= 0) break;
  }
  s.Reset();
}

enum class HeadRead { Complete, Closed, TooLong, TimedOut, Stopping };

// Reads until the blank line that ends the head, at most kMaxHeadBytes and kHeadTimeoutMs. What the client sent
// after the blank line may be in head too.
[[nodiscard]] HeadRead ReadHead(SOCKET s, const std::atomic<bool>& stopping, std::string& head) {
  const auto deadline = GetTickCount64() + kHeadTimeoutMs;
  char buffer[1024];
  while (true) {
    if (FindHeadEnd(head) != std::string::npos) return HeadRead::Complete;
    if (head.size() >= kMaxHeadBytes) return HeadRead::TooLong;
    if (stopping.load()) return HeadRead::Stopping;
    const auto now = GetTickCount64();
    if (now >= deadline) return HeadRead::TimedOut;
    bool failed = false;
    if (!WaitReadable(s, std::min(deadline - now, kSliceMs), failed)) {
      if (failed) return HeadRead::Closed;
      continue;
    }
    const int room = static_cast<int>(std::min(sizeof buffer, kMaxHeadBytes - head.size()));
    const int got = recv(s, buffer, room, 0);
    if (got <= 0) return HeadRead::Closed;
    head.append(buffer, static_cast<std::size_t>(got));
  }
}

std::string PlainAnswer(int code, std::string_view reason) {
  std::string body(reason);
  body.append("\r\n");
  return HttpResponse(code, reason, "text/plain", body);
}

} // namespace

void ConnectionThreads::JoinAll() {
  for (auto& entry : entries_) {
    if (entry.thread.joinable()) entry.thread.join();
  }
  entries_.clear();
}

void ConnectionThreads::Reap() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (!it->finished.load()) {
      ++it;
      continue;
    }
    if (it->thread.joinable()) it->thread.join();
    it = entries_.erase(it);
  }
}

StandInServer::StandInServer(std::uint16_t port, std::string runningSince, HANDLE stopEvent)
    : runningSince_(std::move(runningSince)), stopEvent_(stopEvent) {
  listener_ = UniqueSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener_) throw SocketError("socket");

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  // The panel only ever asks localhost. Listening on the loopback address alone keeps the server off the network,
  // and off the firewall's first-start prompt on Windows.
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR)
    throw SocketError("bind to port " + std::to_string(port));
  if (listen(listener_.Get(), SOMAXCONN) == SOCKET_ERROR) throw SocketError("listen");

  // The accept loop sleeps on this event and on the stop event at once, so stopping needs no polling.
  acceptEvent_ = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!acceptEvent_) throw std::runtime_error("cannot make an event");
  if (WSAEventSelect(listener_.Get(), acceptEvent_.Get(), FD_ACCEPT) == SOCKET_ERROR)
    throw SocketError("WSAEventSelect");
}

StandInServer::~StandInServer() {
  stopping_.store(true);
  threads_.JoinAll();
}

void StandInServer::Run() {
  // The accept event is only raised again once an accept has re-armed it, so one notice that goes astray would leave
  // every later connection waiting in the backlog. Looking at the backlog now and then, event or not, rules that out.
  const HANDLE waits[] = {stopEvent_, acceptEvent_.Get()};
  while (true) {
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kBacklogCheckMs);
    if (woke == WAIT_OBJECT_0 + 1) {
      WSANETWORKEVENTS events{};
      if (WSAEnumNetworkEvents(listener_.Get(), acceptEvent_.Get(), &events) == SOCKET_ERROR)
        throw SocketError("WSAEnumNetworkEvents");
    } else if (woke != WAIT_TIMEOUT) {
      break; // stopped, or the wait failed
    }
    AcceptPending();
  }
  // Refuse newcomers first, then let the connections in hand finish; their waits notice stopping_ within a slice.
  stopping_.store(true);
  listener_.Reset();
  threads_.JoinAll();
}

void StandInServer::AcceptPending() {
  // The listener is non-blocking (WSAEventSelect made it so): take connections until none is waiting.
  while (true) {
    UniqueSocket client(accept(listener_.Get(), nullptr, nullptr));
    if (!client) return;
    // When too many are being served the body is dropped with its socket: the newcomer is closed unanswered.
    (void)threads_.Start([this, c = std::move(client)]() mutable { Serve(std::move(c)); });
  }
}

void StandInServer::Serve(UniqueSocket client) noexcept {
  try {
    // An accepted socket inherits the listener's event selection and non-blocking mode; this one is served blocking.
    (void)WSAEventSelect(client.Get(), nullptr, 0);
    u_long nonBlocking = 0;
    (void)ioctlsocket(client.Get(), FIONBIO, &nonBlocking);
    const DWORD sendTimeout = kSendTimeoutMs;
    (void)setsockopt(client.Get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout),
                     sizeof sendTimeout);

    std::string head;
    std::string answer;
    bool stop = false;
    switch (ReadHead(client.Get(), stopping_, head)) {
    case HeadRead::Closed:
    case HeadRead::Stopping:
      return;
    case HeadRead::TooLong:
      answer = PlainAnswer(431, "Request Header Fields Too Large");
      break;
    case HeadRead::TimedOut:
      answer = PlainAnswer(408, "Request Timeout");
      break;
    case HeadRead::Complete:
      switch (ClassifyRequest(std::string_view(head).substr(0, FindHeadEnd(head)))) {
      case RequestKind::Status:
        answer = HttpResponse(200, "OK", "text/xml", StatusBody(runningSince_));
        break;
      case RequestKind::Stop:
        answer = HttpResponse(200, "OK", "text/xml", "<status><stopping/></status>");
        stop = true;
        break;
      case RequestKind::RefusedStop:
        answer = PlainAnswer(403, "Forbidden");
        break;
      case RequestKind::NotFound:
        answer = PlainAnswer(404, "Not Found");
        break;
      case RequestKind::Malformed:
        answer = PlainAnswer(400, "Bad Request");
        break;
      }
      break;
    }
    (void)SendAll(client.Get(), answer);
    CloseGracefully(client);
    // Only now, so that the client has its answer before the process goes.
    if (stop) (void)SetEvent(stopEvent_);
  } catch (const std::exception&) {
    // Out of memory at worst; the connection just closes.
  }
}

} // namespace tsm::standin
