// The stand-in server's HTTP side: one listening socket, one short-lived thread per connection.
#pragma once

#include "win32/Socket.h"
#include "win32/KernelHandle.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <string>
#include <thread>

namespace tsm::standin {

// The connections being served, each on a thread of its own. Threads that have ended are joined and forgotten when
// the next one starts, so a long-running server does not pile them up; the rest are joined on destruction.
class ConnectionThreads {
public:
  static constexpr std::size_t kMaxLive = 32;

  ConnectionThreads() = default;
  ~ConnectionThreads() { JoinAll(); }
  // Each thread holds the address of its own entry, so the entries never move.
  ConnectionThreads(const ConnectionThreads&) = delete;
  ConnectionThreads& operator=(const ConnectionThreads&) = delete;

  // Runs body (which must not throw) on a new thread. False, with body discarded, when kMaxLive threads are still
  // busy or no thread could be made.
  template <typename Body> [[nodiscard]] bool Start(Body body) {
    Reap();
    if (entries_.size() >= kMaxLive) return false;
    auto& entry = entries_.emplace_back();
    try {
      entry.thread = std::thread([&entry, body = std::move(body)]() mutable {
        body();
        entry.finished.store(true);
      });
    } catch (const std::exception&) {
      entries_.pop_back();
      return false;
    }
    return true;
  }

  void JoinAll();

private:
  struct Entry {
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void Reap();

  std::list<Entry> entries_;
};

// Answers the status request and the stop request on the loopback address (127.0.0.1) at one port. Setting the stop
// event (which the caller owns, and which a valid stop request sets too) ends Run. The connection threads point back at
// the object, so it stays where it was made.
class StandInServer {
public:
  // Listens at once; throws std::runtime_error when the port cannot be had. Winsock must be started.
  StandInServer(std::uint16_t port, std::string runningSince, HANDLE stopEvent);
  StandInServer(const StandInServer&) = delete;
  StandInServer& operator=(const StandInServer&) = delete;
  ~StandInServer();

  // Accepts and serves connections until the stop event is set, then waits for the connections in hand.
  void Run();

private:
  void AcceptPending();
  void Serve(UniqueSocket client) noexcept;

  std::string runningSince_;
  HANDLE stopEvent_; // borrowed
  UniqueSocket listener_;
  UniqueHandle acceptEvent_;
  std::atomic<bool> stopping_{false};
  ConnectionThreads threads_; // last, so it is joined before anything the threads use goes away
};

} // namespace tsm::standin
