// HttpGet over real Winsock against a local server whose every move is scripted.
#include "http/HttpClient.h"
#include "core/ServerContract.h"
#include "win32/Socket.h"
#include "core/StopToken.h"
#include "core/TagText.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace tsm::test;
using std::chrono::milliseconds;

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)

struct Outcome {
  bool ok = false;
  std::string response;
  milliseconds elapsed{};
};

Outcome TimedGet(const std::string& host, const std::string& path, std::int32_t port) {
  Outcome outcome;
  outcome.response = "left over from before";
  const auto start = std::chrono::steady_clock::now();
  outcome.ok = tsm::HttpGet(host, path, port, outcome.response);
  outcome.elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
  return outcome;
}

const std::string kStatusRequest = "GET /app?operation=ws HTTP/1.1\r\nHost: localhost\r\n\r\n";
const std::string kAnswer = HttpAnswer("<status><runningSince>2024-05-01 08:00</runningSince></status>");

// ---- How the server answers -------------------------------------------------------------------------------------

// Wine reports a peer's reset to recv as an orderly close (recv gives 0, FD_CLOSE carries no error); only a later
// send fails with WSAECONNRESET. Windows fails the recv itself.
using tsm::test::RunningUnderWine;

// An exchange that ends by 2000 ms of silence cannot end sooner, so those cases have a lower bound. (What a NUL
// does to the read that carries it depends on where the system cuts the stream into reads, which a real socket
// does not promise; the core's read loop is proven against a counted sequence of reads instead.) How soon one
// ends after the server's close is the read loop's own rule, proven on the core with a counted wait, and a matter
// of speed here; only an exchange that never ends fails (kHostileBoundMs).
struct AnswerCase {
  const char* name;
  Script script;
  bool ok;
  std::string response;
  milliseconds atLeast;
  std::optional<std::string> wineSeesClose = {}; // a reset, which Wine reads as a close after these bytes
};

class HttpGetAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(HttpGetAnswer, ResultResponseAndWhenItEnds) {
  const AnswerCase& c = GetParam();
  LocalHttpServer server(c.script);
  const Outcome got = TimedGet(tsm::kServerHost, tsm::kStatusPath, server.Port());
  const bool asClose = c.wineSeesClose && RunningUnderWine();
  EXPECT_EQ(got.ok, asClose || c.ok);
  EXPECT_EQ(got.response, asClose ? *c.wineSeesClose : c.response);
  EXPECT_GE(got.elapsed, c.atLeast);
  EXPECT_LT(got.elapsed, milliseconds(kHostileBoundMs));
  EXPECT_EQ(server.Connections(), 1u);
}

constexpr milliseconds kSilence = 1900ms;

INSTANTIATE_TEST_SUITE_P(
    Server, HttpGetAnswer,
    testing::Values(AnswerCase{"AnswersAndCloses", AnswerAndClose(kAnswer), true, kAnswer, 0ms},
                    AnswerCase{"AnswersAndKeepsOpen", AnswerAndHoldOpen(kAnswer), true, kAnswer, kSilence},
                    AnswerCase{"AnswersInPiecesThenCloses",
                               {step::ReadRequest(), step::Send("HTTP/1.1 200 OK\r\n"), step::Pause(300ms),
                                step::Send("\r\n<runningSince>T</runningSince>"), step::Close()},
                               true,
                               "HTTP/1.1 200 OK\r\n\r\n<runningSince>T</runningSince>",
                               0ms},
                    AnswerCase{"ClosesWithoutAnswer", {step::ReadRequest(), step::Close()}, true, "", 0ms},
                    AnswerCase{"SilentAndOpen", {step::ReadRequest(), step::HoldOpen()}, true, "", kSilence},
                    AnswerCase{"NeverReads", {step::Pause(60s)}, true, "", kSilence},
                    // On Windows a reset fails the read that sees it, and what came before is dropped with it.
                    AnswerCase{
                        "ResetMidAnswer",
                        {step::ReadRequest(), step::Send("HTTP/1.1 200 OK\r\n"), step::Pause(300ms), step::Reset()},
                        false,
                        "",
                        0ms,
                        "HTTP/1.1 200 OK\r\n"},
                    AnswerCase{"ResetBeforeAnswer", {step::ReadRequest(), step::Reset()}, false, "", 0ms, ""},
                    // Closing with the request still unread resets the connection.
                    AnswerCase{"ClosesWithRequestUnread", {step::Pause(300ms), step::Close()}, false, "", 0ms, ""}),
    tsm::test::CaseName());

// ---- What reaches the server ------------------------------------------------------------------------------------

struct RequestCase {
  const char* name;
  std::string host;
  std::string path;
  std::string bytes;
};

class HttpGetRequest : public testing::TestWithParam<RequestCase> {};

TEST_P(HttpGetRequest, ServerReceivesExactlyTheseBytes) {
  const RequestCase& c = GetParam();
  LocalHttpServer server(Script{step::ReadRequest(), step::Close()});
  std::string response;
  ASSERT_TRUE(tsm::HttpGet(c.host, c.path, server.Port(), response));
  ASSERT_TRUE(server.WaitForHandlers());
  EXPECT_EQ(server.Requests(), std::vector<std::string>{c.bytes});
}

INSTANTIATE_TEST_SUITE_P(Paths, HttpGetRequest,
                         testing::Values(RequestCase{"StatusQuery", "localhost", tsm::kStatusPath, kStatusRequest},
                                         RequestCase{"StopRequest", "localhost",
                                                     tsm::StopRequestPath(tsm::MakeStopToken(123)),
                                                     "GET /app?operation=ws&s=r&t=123&u=973914 HTTP/1.1\r\n"
                                                     "Host: localhost\r\n\r\n"},
                                         RequestCase{"HostHeaderNamesLocalhostWhateverWasDialled", "127.0.0.1",
                                                     tsm::kStatusPath, kStatusRequest}),
                         tsm::test::CaseName());

// ---- Hosts and ports --------------------------------------------------------------------------------------------

struct ReachCase {
  const char* name;
  std::string host;
  std::uint32_t highBits; // or-ed into the server's port; only the low 16 bits may count
};

class HttpGetReach : public testing::TestWithParam<ReachCase> {};

TEST_P(HttpGetReach, ConnectsToTheServer) {
  const ReachCase& c = GetParam();
  LocalHttpServer server(AnswerAndClose(kAnswer));
  const auto port = static_cast<std::int32_t>(static_cast<std::uint32_t>(server.Port()) | c.highBits);
  std::string response;
  EXPECT_TRUE(tsm::HttpGet(c.host, tsm::kStatusPath, port, response));
  EXPECT_EQ(response, kAnswer);
}

INSTANTIATE_TEST_SUITE_P(Addresses, HttpGetReach,
                         testing::Values(ReachCase{"Localhost", "localhost", 0},
                                         ReachCase{"DottedLoopback", "127.0.0.1", 0},
                                         ReachCase{"PortAbove65535", "localhost", 0x10000},
                                         ReachCase{"NegativePort", "localhost", 0xFFFF0000},
                                         ReachCase{"OnlySignBitAbove", "localhost", 0x80000000}),
                         tsm::test::CaseName());

struct NoConnectionCase {
  const char* name;
  std::string host;
};

class HttpGetUnreachable : public testing::TestWithParam<NoConnectionCase> {};

// A live server on the port makes "never connects anywhere" visible: on Wine a connect to 0.0.0.0 would reach it.
TEST_P(HttpGetUnreachable, FailsEmptyWithoutConnecting) {
  LocalHttpServer server(AnswerAndClose(kAnswer));
  const Outcome got = TimedGet(GetParam().host, tsm::kStatusPath, server.Port());
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.response, "");
  EXPECT_FALSE(server.WaitForConnections(1, 500));
}

INSTANTIATE_TEST_SUITE_P(Hosts, HttpGetUnreachable,
                         testing::Values(NoConnectionCase{"NameThatDoesNotResolve", "no-such-host.invalid"},
                                         NoConnectionCase{"AnyAddress", "0.0.0.0"}),
                         tsm::test::CaseName());

TEST(HttpGetRefused, NothingListeningFailsEmpty) {
  // A socket bound but not listening holds the port, so nobody else can start listening there meanwhile.
  const tsm::WinsockSession winsock;
  ASSERT_TRUE(winsock.Started());
  const tsm::test::LoopbackSocket holder = tsm::test::BindLoopback();

  const Outcome got = TimedGet("localhost", tsm::kStatusPath, holder.port);
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.response, "");
}

// ---- The chunk limit ----------------------------------------------------------------------------------------------

// An endless stream of numbered lines, 128 of them to a 1024-byte chunk, so any lost, doubled or reordered byte
// shows.
std::string StreamChunk(std::uint64_t n) {
  std::string chunk;
  chunk.reserve(1024);
  char line[9];
  for (std::uint64_t i = n * 128; i < (n + 1) * 128; ++i) {
    std::snprintf(line, sizeof line, "%07llu\n", static_cast<unsigned long long>(i % 10000000));
    chunk.append(line, 8);
  }
  return chunk;
}

// Every read brings at least one byte and at most 1024, so 2000 reads bring 2000 to 2048000 bytes of the stream;
// that the call returns at all against a server that never stops sending is what shows the limit held.
TEST(HttpGetChunkLimit, StopsReadingAnEndlessAnswer) {
  std::atomic<std::uint64_t> chunksSent{0};
  LocalHttpServer server([&](ServerConnection& connection) {
    if (connection.ReadRequest()) chunksSent = connection.SendForever(StreamChunk);
  });
  std::string response;
  ASSERT_TRUE(tsm::HttpGet("localhost", tsm::kStatusPath, server.Port(), response));
  EXPECT_GE(response.size(), 2000u);
  EXPECT_LE(response.size(), 2000u * 1024u);
  std::string expected;
  for (std::uint64_t n = 0; expected.size() < response.size(); ++n) expected += StreamChunk(n);
  expected.resize(response.size());
  EXPECT_TRUE(response == expected) << "first difference at byte "
                                    << std::mismatch(response.begin(), response.end(), expected.begin()).first -
                                           response.begin();
  // The sender stops only when its sends fail: the client closed on it with the rest unread.
  EXPECT_TRUE(server.WaitForHandlers(kBulkBoundMs));
  EXPECT_GT(chunksSent.load() * 1024u, response.size());
}

// ---- Concurrency --------------------------------------------------------------------------------------------------

// The server answers neither until both connections are open, so the two calls can only succeed side by side.
TEST(HttpGetThreads, TwoExchangesAtOnceEachGetTheirOwnAnswer) {
  std::atomic<int> metTogether{0};
  LocalHttpServer server([&](ServerConnection& connection) {
    if (!connection.ReadRequest()) return;
    if (connection.Server().WaitForConnections(2)) ++metTogether;
    const std::string request = connection.Received();
    connection.Send(HttpAnswer("<echo>" + request.substr(0, request.find("\r\n")) + "</echo>"));
  });
  std::string answerA;
  std::string answerB;
  std::atomic<bool> okA{false};
  std::atomic<bool> okB{false};
  std::thread a([&] { okA = tsm::HttpGet("localhost", "/app?operation=ws&who=a", server.Port(), answerA); });
  std::thread b([&] { okB = tsm::HttpGet("localhost", "/app?operation=ws&who=b", server.Port(), answerB); });
  a.join();
  b.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
  EXPECT_EQ(metTogether, 2);
  EXPECT_EQ(tsm::ExtractTagText(answerA, "echo"), "GET /app?operation=ws&who=a HTTP/1.1");
  EXPECT_EQ(tsm::ExtractTagText(answerB, "echo"), "GET /app?operation=ws&who=b HTTP/1.1");
}

} // namespace
