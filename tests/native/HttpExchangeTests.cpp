// The exchange's loop against a scripted connection: what goes out, in what order, and how each way an answer can
// end shapes the result.
#include "core/HttpExchange.h"
#include "core/ServerContract.h"
#include "core/StopToken.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <limits>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// Names each case of a table by its name field.
struct ByName {
  template <class Case> std::string operator()(const testing::TestParamInfo<Case>& c) const { return c.param.name; }
};

// One thing the connection does when the exchange next waits and reads.
struct Event {
  enum class Kind { Data, Closed, Silence, SocketError, OtherError };
  Kind kind;
  std::string bytes;
  int afterMs = 0; // how long after the wait for it begins the data comes
};

Event Data(std::string bytes, int afterMs = 0) { return {Event::Kind::Data, std::move(bytes), afterMs}; }
const Event kClosed{Event::Kind::Closed, {}};           // read gives 0: peer closed or the read timed out
const Event kSilence{Event::Kind::Silence, {}};         // the wait for data times out
const Event kSocketError{Event::Kind::SocketError, {}}; // the read fails
const Event kOtherError{Event::Kind::OtherError, {}};   // something else of the general type escapes the read

// Plays a script of events on a clock of its own and writes down every call the exchange makes. Once the script runs
// out it falls silent, or, when endless, offers one more byte forever, each endlessAfterMs after the wait began.
class FakeConnection {
public:
  explicit FakeConnection(std::vector<Event> script, bool endless = false, int endlessAfterMs = 0)
      : script_(std::move(script)), endless_(endless), endlessAfterMs_(endlessAfterMs) {}

  std::size_t Send(std::string_view bytes) {
    trace.push_back("send:" + std::string(bytes));
    if (static_cast<int>(sends_++) == failingSend) throw std::runtime_error("Socket Error # 10054");
    return std::min(bytes.size(), sendTakes);
  }

  bool WaitReadable(int ms) {
    trace.push_back("wait:" + std::to_string(ms));
    ++waits;
    const Event next = Peek();
    if (next.kind == Event::Kind::Silence || next.afterMs > ms) {
      nowMs += ms;
      return false;
    }
    nowMs += next.afterMs;
    return true;
  }

  std::int64_t NowMs() const { return nowMs; }

  std::size_t Read(char* buffer, std::size_t size) {
    trace.push_back("read:" + std::to_string(size));
    ++reads;
    const Event event = Peek();
    if (next_ < script_.size()) ++next_;
    switch (event.kind) {
    case Event::Kind::Data:
      EXPECT_LE(event.bytes.size(), size);
      std::copy_n(event.bytes.data(), std::min(event.bytes.size(), size), buffer);
      return std::min(event.bytes.size(), size);
    case Event::Kind::SocketError:
      throw std::runtime_error("Socket Error # 10054");
    case Event::Kind::OtherError:
      throw std::bad_alloc();
    case Event::Kind::Closed:
    case Event::Kind::Silence:
      break;
    }
    return 0;
  }

  std::vector<std::string> trace;
  int waits = 0;
  int reads = 0;
  int failingSend = -1; // index of the send that fails, if any
  std::size_t sendTakes = std::numeric_limits<std::size_t>::max();
  std::int64_t nowMs = 0;

private:
  Event Peek() const {
    if (next_ < script_.size()) return script_[next_];
    return endless_ ? Data("x", endlessAfterMs_) : kSilence;
  }

  std::vector<Event> script_;
  bool endless_;
  int endlessAfterMs_;
  std::size_t sends_ = 0;
  std::size_t next_ = 0;
};

static_assert(tsm::HttpConnection<FakeConnection>);

constexpr std::int64_t kUnbounded = tsm::kNoExchangeBound;

const std::string kStatusRequestLine = "GET /app?operation=ws HTTP/1.1\r\n";
const std::string kHostLines = "Host: localhost\r\n\r\n";

TEST(HttpExchange, SendsTwoTextsThenWaitsAndReadsInTurn) {
  FakeConnection connection({Data("HTTP/1.1 200 OK\r\n\r\n"), kClosed});
  std::string response;
  ASSERT_TRUE(tsm::RunHttpExchange(connection, tsm::kStatusPath, response, kUnbounded));
  EXPECT_EQ(response, "HTTP/1.1 200 OK\r\n\r\n");
  const std::vector<std::string> expected = {
      "send:" + kStatusRequestLine, "send:" + kHostLines, "wait:2000", "read:1024", "wait:2000", "read:1024",
  };
  EXPECT_EQ(connection.trace, expected);
}

TEST(HttpExchange, StopRequestLineCarriesTheTokenVerbatim) {
  FakeConnection connection({kClosed});
  std::string response;
  ASSERT_TRUE(tsm::RunHttpExchange(connection, tsm::StopRequestPath(tsm::MakeStopToken(123)), response, kUnbounded));
  ASSERT_GE(connection.trace.size(), 2u);
  EXPECT_EQ(connection.trace[0], "send:GET /app?operation=ws&s=r&t=123&u=973914 HTTP/1.1\r\n");
  EXPECT_EQ(connection.trace[1], "send:" + kHostLines);
}

TEST(HttpExchange, ShortSendIsNotRepeated) {
  FakeConnection connection({Data("ok"), kClosed});
  connection.sendTakes = 3;
  std::string response;
  ASSERT_TRUE(tsm::RunHttpExchange(connection, tsm::kStatusPath, response, kUnbounded));
  EXPECT_EQ(response, "ok");
  EXPECT_EQ(std::count_if(connection.trace.begin(), connection.trace.end(),
                          [](const std::string& call) { return call.starts_with("send:"); }),
            2);
}

struct SendFailureCase {
  friend void PrintTo(const SendFailureCase& c, std::ostream* os) { *os << "send " << c.failingSend << " fails"; }
  int failingSend;
  std::size_t callsMade;
};

class HttpExchangeSendFailure : public testing::TestWithParam<SendFailureCase> {};

TEST_P(HttpExchangeSendFailure, FailsEmptyAndNeverReads) {
  FakeConnection connection({Data("never seen"), kClosed});
  connection.failingSend = GetParam().failingSend;
  std::string response = "left over from before";
  EXPECT_FALSE(tsm::RunHttpExchange(connection, tsm::kStatusPath, response, kUnbounded));
  EXPECT_EQ(response, "");
  EXPECT_EQ(connection.trace.size(), GetParam().callsMade);
  EXPECT_EQ(connection.reads, 0);
  EXPECT_EQ(connection.waits, 0);
}

INSTANTIATE_TEST_SUITE_P(Sends, HttpExchangeSendFailure, testing::Values(SendFailureCase{0, 1}, SendFailureCase{1, 2}));

struct EndingCase {
  friend void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  std::vector<Event> script;
  bool result;
  std::string response;
  int reads;
  int waits;
};

class HttpExchangeEnding : public testing::TestWithParam<EndingCase> {};

TEST_P(HttpExchangeEnding, ResultResponseAndCalls) {
  const EndingCase& c = GetParam();
  FakeConnection connection(c.script);
  std::string response = "left over from before";
  EXPECT_EQ(tsm::RunHttpExchange(connection, tsm::kStatusPath, response, kUnbounded), c.result);
  EXPECT_EQ(response, c.response);
  EXPECT_EQ(connection.reads, c.reads);
  EXPECT_EQ(connection.waits, c.waits);
}

const std::string kFullChunk(1024, 'k');

INSTANTIATE_TEST_SUITE_P(
    Answers, HttpExchangeEnding,
    testing::Values(
        EndingCase{"ClosedAtOnce", {kClosed}, true, "", 1, 1}, EndingCase{"SilentAtOnce", {}, true, "", 0, 1},
        EndingCase{"ChunksInOrderUntilClose",
                   {Data("HTTP/1.1 "), Data("200 OK\r\n"), kClosed},
                   true,
                   "HTTP/1.1 200 OK\r\n",
                   3,
                   3},
        EndingCase{"SilenceEndsAndLeavesLaterDataUnread", {Data("a"), kSilence, Data("b")}, true, "a", 1, 2},
        EndingCase{"CloseEndsAndLeavesLaterDataUnread", {Data("a"), kClosed, Data("b")}, true, "a", 2, 2},
        EndingCase{"FullChunkKeptWhole", {Data(kFullChunk), kClosed}, true, kFullChunk, 2, 2},
        EndingCase{"NulEndsOnlyItsOwnChunk", {Data("ab\0cd"s), Data("ef"), kClosed}, true, "abef", 3, 3},
        EndingCase{"NulFirstDropsWholeChunk", {Data("\0xyz"s), Data("ok"), kClosed}, true, "ok", 3, 3},
        EndingCase{"NulLast", {Data("abc\0"s), kClosed}, true, "abc", 2, 2},
        EndingCase{"ReadErrorAtOnce", {kSocketError}, false, "", 1, 1},
        EndingCase{"ReadErrorAfterDataDropsIt", {Data("HTTP/1.1 200 OK\r\n"), kSocketError}, false, "", 2, 2},
        EndingCase{"AnyGeneralErrorCounts", {Data("a"), kOtherError}, false, "", 2, 2}),
    ByName());

struct LimitCase {
  friend void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  int chunksBeforeClose; // -1: the connection never stops offering data
  int reads;
  int waits;
  std::size_t bytes;
};

class HttpExchangeChunkLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(HttpExchangeChunkLimit, StopsAfterTwoThousandReads) {
  const LimitCase& c = GetParam();
  std::vector<Event> script;
  if (c.chunksBeforeClose >= 0) {
    script.assign(static_cast<std::size_t>(c.chunksBeforeClose), Data("x"));
    script.push_back(kClosed);
  }
  FakeConnection connection(script, c.chunksBeforeClose < 0);
  std::string response;
  ASSERT_TRUE(tsm::RunHttpExchange(connection, tsm::kStatusPath, response, kUnbounded));
  EXPECT_EQ(connection.reads, c.reads);
  EXPECT_EQ(connection.waits, c.waits);
  EXPECT_EQ(response, std::string(c.bytes, 'x'));
}

INSTANTIATE_TEST_SUITE_P(Reads, HttpExchangeChunkLimit,
                         testing::Values(LimitCase{"Endless", -1, 2000, 2000, 2000},
                                         LimitCase{"CloseOnTheLastAllowedRead", 1999, 2000, 2000, 1999},
                                         LimitCase{"CloseJustPastTheLimitIsNeverRead", 2000, 2000, 2000, 2000}),
                         ByName());

// The bound on the whole exchange: no wait goes past the deadline, whatever the server still sends, and within it the
// silence that ends an answer is waited for whole.
struct BoundCase {
  friend void PrintTo(const BoundCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  FakeConnection connection;
  std::int64_t deadlineMs;
  std::string response;
  std::vector<std::string> waits;
  std::int64_t endsAtMs;
};

class HttpExchangeBound : public testing::TestWithParam<BoundCase> {};

TEST_P(HttpExchangeBound, NoWaitGoesPastTheDeadline) {
  BoundCase c = GetParam();
  std::string response;
  ASSERT_TRUE(tsm::RunHttpExchange(c.connection, tsm::kStatusPath, response, c.deadlineMs));
  EXPECT_EQ(response, c.response);
  std::vector<std::string> waits;
  std::copy_if(c.connection.trace.begin(), c.connection.trace.end(), std::back_inserter(waits),
               [](const std::string& call) { return call.starts_with("wait:"); });
  EXPECT_EQ(waits, c.waits);
  EXPECT_EQ(c.connection.NowMs(), c.endsAtMs);
}

INSTANTIATE_TEST_SUITE_P(Deadlines, HttpExchangeBound,
                         testing::Values(BoundCase{"AByteASecondEndsAtTheDeadline",
                                                   FakeConnection({}, true, 1000),
                                                   4500,
                                                   "xxxx",
                                                   {"wait:2000", "wait:2000", "wait:2000", "wait:1500", "wait:500"},
                                                   4500},
                                         BoundCase{"SilenceInsideTheBoundIsWaitedWhole",
                                                   FakeConnection({Data("a", 100)}),
                                                   4500,
                                                   "a",
                                                   {"wait:2000", "wait:2000"},
                                                   2100},
                                         BoundCase{"DataJustInTimeIsTheLastRead",
                                                   FakeConnection({Data("a", 1000), Data("b", 1000), Data("c", 1)}),
                                                   2000,
                                                   "ab",
                                                   {"wait:2000", "wait:1000"},
                                                   2000},
                                         BoundCase{
                                             "PassedBeforeTheFirstWait", FakeConnection({Data("a")}), 0, "", {}, 0}),
                         ByName());

struct PortCase {
  friend void PrintTo(const PortCase& c, std::ostream* os) { *os << c.port; }
  std::int32_t port;
  std::uint16_t wire;
};

class HttpPortOnTheWire : public testing::TestWithParam<PortCase> {};

TEST_P(HttpPortOnTheWire, KeepsTheLowSixteenBits) { EXPECT_EQ(tsm::PortOnTheWire(GetParam().port), GetParam().wire); }

INSTANTIATE_TEST_SUITE_P(Ports, HttpPortOnTheWire,
                         testing::Values(PortCase{80, 80}, PortCase{65535, 65535}, PortCase{65536, 0},
                                         PortCase{65536 + 8080, 8080}, PortCase{0x7FFFFFFF, 65535}, PortCase{-1, 65535},
                                         PortCase{-65536 + 8080, 8080},
                                         PortCase{std::numeric_limits<std::int32_t>::min(), 0}));

} // namespace
