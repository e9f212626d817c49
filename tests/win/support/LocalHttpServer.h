// A scriptable TCP server on 127.0.0.1 for tests that talk to it through real Winsock.
//
// Each accepted connection runs on a thread of its own, through either a handler (a callback that gets a
// ServerConnection) or a Script (a list of steps). Every byte a connection receives is recorded, per connection in the
// order they were accepted, and can be read at any time from any thread. The destructor stops everything: no more
// accepts, every wait inside a handler ends early, all threads are joined, all sockets closed. So a handler that holds
// a connection open or sends forever never outlives its server.
//
//   using namespace tsm::test;
//   LocalHttpServer server(AnswerAndClose(HttpAnswer("<runningSince>T</runningSince>")));
//   ... point the code under test at "localhost" and server.Port() ...
//   EXPECT_EQ(server.Requests().at(0), "GET /app?operation=ws HTTP/1.1\r\nHost: localhost\r\n\r\n");
//
// Things worth knowing when writing a script:
// - A script that answers normally starts with ReadRequest. Closing a connection while bytes it received are still
//   unread makes the peer see a reset instead of an orderly close (Windows and Linux both do this), and a connection
//   that never reads still takes the client's request into its buffers, so the client's sends succeed.
// - Reset (and the close above) is a real RST, but a client running under Wine reads it as an orderly close: recv
//   gives 0 and only a later send fails with WSAECONNRESET. On Windows the recv itself fails.
// - When the steps run out the connection is closed in an orderly way, unless a step already closed or reset it.
// - The port is an ephemeral one unless a fixed port is asked for; a fixed port may be taken again by a new server at
//   once, so a test can stop a server and start another where a client already knows to look.
#pragma once

#include "support/TestSupport.h"
#include "win32/Socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tsm::test {

class LocalHttpServer;

// One accepted connection, as a handler sees it. The socket underneath never blocks; every wait here is bounded
// and ends early once the server is stopping.
class ServerConnection {
public:
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  [[nodiscard]] LocalHttpServer& Server() const noexcept { return server_; }
  [[nodiscard]] std::size_t Index() const noexcept { return index_; } // 0 for the first connection accepted

  // Reads until the next request's empty line ("\r\n\r\n") has arrived; false if the peer closed, the socket
  // failed, the server stopped or timeout passed first. What was read is recorded either way.
  [[nodiscard]] bool ReadRequest(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Everything this connection has received so far.
  [[nodiscard]] std::string Received() const;
  // Sends all of bytes; false once the peer is gone or the server is stopping.
  bool Send(std::string_view bytes);
  // Waits for duration; false, early, when the server stops.
  bool Pause(std::chrono::milliseconds duration);
  // Keeps the connection open, recording whatever else arrives, until the peer closes, the socket fails, the server
  // stops or limit passes.
  void HoldOpen(std::chrono::milliseconds limit = std::chrono::minutes(5));
  // Sends chunk(0), chunk(1), ... with pause between them until a send fails or the server stops; returns how many
  // chunks went out whole.
  std::uint64_t SendForever(const std::function<std::string(std::uint64_t)>& chunk,
                            std::chrono::milliseconds pause = std::chrono::milliseconds(0));
  // Orderly close: the peer reads what was sent, then end of stream.
  void Close();
  // Abortive close: the peer sees a connection reset.
  void Reset();
  [[nodiscard]] bool Open() const noexcept { return socket_.Get() != INVALID_SOCKET; }
  [[nodiscard]] bool Stopping() const noexcept;

private:
  friend class LocalHttpServer;
  ServerConnection(LocalHttpServer& server, std::size_t index, UniqueSocket socket) noexcept;

  // Polls in short slices so that a stopping server is noticed; false on stop, time-out or a failed wait.
  [[nodiscard]] bool WaitFor(bool write, std::chrono::steady_clock::time_point deadline) const;
  enum class Got { Bytes, Nothing, End };
  [[nodiscard]] Got ReadSome();

  LocalHttpServer& server_;
  std::size_t index_;
  UniqueSocket socket_;
  std::size_t scanned_ = 0; // where the search for the next request's end starts
};

// One step of a Script.
struct Step {
  enum class Kind { ReadRequest, Send, Pause, HoldOpen, SendForever, Close, Reset };
  Kind kind;
  std::string bytes;                    // Send, SendForever
  std::chrono::milliseconds duration{}; // Pause; SendForever's pause between chunks
};

using Script = std::vector<Step>;

namespace step {
[[nodiscard]] Step ReadRequest();
[[nodiscard]] Step Send(std::string bytes);
[[nodiscard]] Step Pause(std::chrono::milliseconds duration);
[[nodiscard]] Step HoldOpen();
[[nodiscard]] Step SendForever(std::string chunk, std::chrono::milliseconds pause = std::chrono::milliseconds(0));
[[nodiscard]] Step Close();
[[nodiscard]] Step Reset();
} // namespace step

// A complete "200 OK" answer with a Content-Length, as the server would give.
[[nodiscard]] std::string HttpAnswer(std::string_view body);
// Read the request, send answer, close.
[[nodiscard]] Script AnswerAndClose(std::string answer);
// Read the request, send answer, keep the connection open until the client closes it.
[[nodiscard]] Script AnswerAndHoldOpen(std::string answer);

class LocalHttpServer {
public:
  using Handler = std::function<void(ServerConnection&)>;

  // Listens on 127.0.0.1 at port (0: an ephemeral one). Throws std::runtime_error when it cannot listen.
  explicit LocalHttpServer(Handler handler, std::uint16_t port = 0);
  explicit LocalHttpServer(Script script, std::uint16_t port = 0);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  [[nodiscard]] std::int32_t Port() const noexcept { return port_; }
  // How many connections have been accepted so far.
  [[nodiscard]] std::size_t Connections() const;
  // The raw bytes each connection has received, in the order the connections were accepted.
  [[nodiscard]] std::vector<std::string> Requests() const;
  // Whether at least count connections were accepted within timeoutMs.
  [[nodiscard]] bool WaitForConnections(std::size_t count, DWORD timeoutMs = kEventBoundMs) const;
  // Whether every connection accepted so far had its handler finish within timeoutMs.
  [[nodiscard]] bool WaitForHandlers(DWORD timeoutMs = kEventBoundMs) const;

private:
  friend class ServerConnection;
  void AcceptLoop();
  void Serve(std::size_t index, UniqueSocket socket);
  void Record(std::size_t index, const char* bytes, std::size_t size);

  WinsockSession winsock_; // first in, last out: every socket below closes while Winsock is still up
  UniqueSocket listener_;
  std::int32_t port_ = 0;
  Handler handler_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::atomic<bool> stopping_{false};
  std::vector<std::string> received_; // one per accepted connection
  std::size_t finished_ = 0;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

} // namespace tsm::test
