// The stand-in server run for real under Wine as an application: in a working folder of its own with its own
// configuration, and through the run script beside it. Clients are the panel's own HttpGet and plain sockets.

#include "win32/ComInit.h"
#include "config/ConfigLookup.h"
#include "http/HttpClient.h"
#include "win32/Socket.h"
#include "core/ServerContract.h"
#include "core/StopToken.h"
#include "core/TagText.h"
#include "config/XMLAdapter.h"
#include "support/StandInHarness.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <iphlpapi.h>
#include <shellapi.h>

#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace tsm::test;
using namespace std::string_literals;
using tsm::ResolveHttpPort;
using tsm::TComInit;
using tsm::TXMLAdapter;

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)

constexpr char kOk[] = "HTTP/1.1 200 OK";
constexpr char kForbidden[] = "HTTP/1.1 403 Forbidden";
constexpr char kNotFound[] = "HTTP/1.1 404 Not Found";
constexpr char kBadRequest[] = "HTTP/1.1 400 Bad Request";
constexpr char kTimedOut[] = "HTTP/1.1 408 Request Timeout";
constexpr char kTooLong[] = "HTTP/1.1 431 Request Header Fields Too Large";

std::string StopPath(std::int32_t t) { return tsm::StopRequestPath(tsm::MakeStopToken(t)); }

std::string StatusLineOf(std::int32_t port, const std::string& path) {
  std::string response;
  if (!tsm::HttpGet(tsm::kServerHost, path, port, response)) return "(no connection)";
  return SplitAnswer(response).statusLine;
}

// A server started as an application in a folder of its own whose configuration names a free port.
class StandInApp : public ::testing::Test {
protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    WriteConfig(work, ConfigWithPort(port));
    server.emplace(BuiltFile(kServerExe), work.Path());
    ASSERT_TRUE(server->Started()) << "cannot start " << BuiltFile(kServerExe);
    ASSERT_TRUE(WaitUntilListening(port, server->Handle())) << "the server never listened on " << port;
  }

  void ExpectStillServing() {
    EXPECT_TRUE(server->Running());
    EXPECT_EQ(StatusLineOf(port, tsm::kStatusPath), kOk)
        << "port " << port
        << ", straight to 127.0.0.1: " << RawExchange(port, "GET /app?operation=ws HTTP/1.1\r\n\r\n", 3000);
  }

  tsm::WinsockSession winsock;
  ScratchFolder work;
  std::int32_t port = 0;
  std::optional<ChildProcess> server; // declared after the folder, so it is ended before the folder goes
};

TEST_F(StandInApp, StatusAnswerCarriesTheTimeTheServerStarted) {
  std::string response;
  ASSERT_TRUE(tsm::HttpGet(tsm::kServerHost, tsm::kStatusPath, port, response));
  const auto answer = SplitAnswer(response);
  EXPECT_EQ(answer.statusLine, kOk);
  ASSERT_TRUE(answer.complete) << response;
  EXPECT_EQ(HeaderValue(answer, "Content-Type"), "text/xml");
  EXPECT_EQ(HeaderValue(answer, "Connection"), "close");
  EXPECT_EQ(HeaderValue(answer, "Content-Length"), std::to_string(answer.body.size()));

  // What the panel shows after "Torvale is running since ".
  const auto since = tsm::ExtractTagText(response, tsm::kRunningSinceTag);
  EXPECT_EQ(answer.body, "<status><runningSince>" + since + "</runningSince></status>");
  const auto reported = ParseLocalTimestamp(since);
  ASSERT_TRUE(reported) << "not a time stamp: " << since;
  const auto started = ProcessStartLocal(server->Handle());
  ASSERT_TRUE(started);
  // The report is cut to whole seconds and taken a moment after the process began.
  EXPECT_GE(*reported + kFileTimeSecond, *started);
  EXPECT_LE(*reported, *started + 10 * kFileTimeSecond);

  // It is the start time, not the time of asking: a later answer repeats it.
  Sleep(1100);
  std::string again;
  ASSERT_TRUE(tsm::HttpGet(tsm::kServerHost, tsm::kStatusPath, port, again));
  EXPECT_EQ(tsm::ExtractTagText(again, tsm::kRunningSinceTag), since);
}

// The system's own table of listening sockets: the server's is on 127.0.0.1 alone, never on every address.
TEST_F(StandInApp, ListensOnTheLoopbackAddressOnly) {
  // The table may grow between asking its size and reading it, as other tests open sockets meanwhile.
  ULONG size = 0;
  std::vector<unsigned char> buffer;
  DWORD read = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 10 && read == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(size + 16 * sizeof(MIB_TCPROW));
    size = static_cast<ULONG>(buffer.size());
    read = GetTcpTable(reinterpret_cast<MIB_TCPTABLE*>(buffer.data()), &size, FALSE);
  }
  ASSERT_EQ(read, static_cast<DWORD>(NO_ERROR));
  const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
  std::vector<std::string> listeners;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCPROW& row = table->table[i];
    if (row.dwState != MIB_TCP_STATE_LISTEN || ntohs(static_cast<u_short>(row.dwLocalPort)) != port) continue;
    in_addr address{};
    address.s_addr = row.dwLocalAddr;
    listeners.emplace_back(inet_ntoa(address));
  }
  EXPECT_EQ(listeners, std::vector<std::string>{"127.0.0.1"}) << "port " << port;
}

TEST_F(StandInApp, RefusesStopRequestsThatDoNotCheckOut) {
  const std::string u = std::to_string(tsm::MakeStopToken(150).u);
  const std::string base = std::string(tsm::kStatusPath) + "&s=r";
  const struct {
    const char* why;
    std::string path;
  } cases[] = {
      {"u off by one", base + "&t=150&u=" + std::to_string(tsm::MakeStopToken(150).u + 1)},
      {"u of another t", base + "&t=151&u=" + u},
      {"no u", base + "&t=150"},
      {"no t", base + "&u=" + u},
      {"neither", base},
      {"empty t", base + "&t=&u=" + u},
      {"empty u", base + "&t=150&u="},
      {"t not a number", base + "&t=abc&u=" + u},
      {"t in hexadecimal", base + "&t=0x96&u=" + u},
      {"u with a plus sign", base + "&t=150&u=+" + u},
      {"u with something after it", base + "&t=150&u=" + u + "x"},
      {"t beyond 32 bits", base + "&t=4294967446&u=" + u},
      {"u beyond 32 bits", base + "&t=150&u=" + std::to_string(4294967296LL + tsm::MakeStopToken(150).u)},
      {"t given twice", base + "&t=150&t=150&u=" + u},
      {"an unknown parameter", base + "&t=150&u=" + u + "&x=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(StatusLineOf(port, c.path), kForbidden) << c.path;
  }
  ExpectStillServing();
}

TEST_F(StandInApp, AnswersAnyOtherRequestAndKeepsServing) {
  const std::string right = StopPath(150).substr(std::string("/app").size()); // "?operation=ws&s=r&t=150&u=..."
  const struct {
    const char* why;
    std::string request;
    const char* statusLine;
  } cases[] = {
      {"status with bare line feeds", "GET /app?operation=ws HTTP/1.1\n\n", kOk},
      {"status from an HTTP/1.0 client with headers",
       "GET /app?operation=ws HTTP/1.0\r\nHost: x\r\nAccept: */*\r\n\r\n", kOk},
      {"root", "GET / HTTP/1.1\r\n\r\n", kNotFound},
      {"no query", "GET /app HTTP/1.1\r\n\r\n", kNotFound},
      {"another operation", "GET /app?operation=wss HTTP/1.1\r\n\r\n", kNotFound},
      {"operation in capitals", "GET /app?operation=WS HTTP/1.1\r\n\r\n", kNotFound},
      {"path in capitals", "GET /APP?operation=ws HTTP/1.1\r\n\r\n", kNotFound},
      {"status with an extra parameter", "GET /app?operation=ws&x=1 HTTP/1.1\r\n\r\n", kNotFound},
      {"s other than r",
       "GET /app?operation=ws&s=x&t=150&u=" + std::to_string(tsm::MakeStopToken(150).u) + " HTTP/1.1\r\n\r\n",
       kNotFound},
      {"right token on another path", "GET /apps" + right + " HTTP/1.1\r\n\r\n", kNotFound},
      {"right token posted", "POST /app" + right + " HTTP/1.1\r\nContent-Length: 0\r\n\r\n", kNotFound},
      {"status by HEAD", "HEAD /app?operation=ws HTTP/1.1\r\n\r\n", kNotFound},
      {"no version", "GET /app?operation=ws\r\n\r\n", kBadRequest},
      {"two blanks", "GET  /app?operation=ws HTTP/1.1\r\n\r\n", kBadRequest},
      {"not HTTP", "GET /app?operation=ws FTP/1.0\r\n\r\n", kBadRequest},
      {"empty head", "\r\n\r\n", kBadRequest},
      {"binary noise", "\x01\x02\x00\xff\xfe GET\x00 /\r\n\r\n"s, kBadRequest},
      {"a header beyond 8 KiB", "GET /app?operation=ws HTTP/1.1\r\nX: " + std::string(9000, 'a') + "\r\n\r\n",
       kTooLong},
      {"8 KiB without a line end", std::string(9000, 'a'), kTooLong},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const auto response = RawExchange(port, c.request);
    EXPECT_EQ(SplitAnswer(response).statusLine, c.statusLine) << response;
  }
  ExpectStillServing();
}

TEST_F(StandInApp, IdleAndHalfSentRequestsDoNotHoldUpOthers) {
  // Connections that send nothing, or a request line without the blank line, while another client asks.
  std::vector<std::string> slowAnswers(2);
  std::vector<std::thread> slowClients;
  slowClients.emplace_back([&] { slowAnswers[0] = RawExchange(port, ""); });
  slowClients.emplace_back([&] { slowAnswers[1] = RawExchange(port, "GET /app?operation=ws HTTP/1.1\r\n"); });
  Sleep(200);
  ExpectStillServing();
  for (auto& client : slowClients) client.join();
  // In the end each is told it took too long (the server's patience is a few seconds, far below the client's).
  EXPECT_EQ(SplitAnswer(slowAnswers[0]).statusLine, kTimedOut) << slowAnswers[0];
  EXPECT_EQ(SplitAnswer(slowAnswers[1]).statusLine, kTimedOut) << slowAnswers[1];
  // A client that connects and goes away at once changes nothing either.
  EXPECT_TRUE(AcceptsConnections(port));
  ExpectStillServing();
}

TEST_F(StandInApp, ConcurrentClientsAllGetTheirAnswer) {
  constexpr int kClients = 8;
  std::vector<std::string> lines(kClients);
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i)
    clients.emplace_back([&, i] { lines[static_cast<std::size_t>(i)] = StatusLineOf(port, tsm::kStatusPath); });
  for (auto& client : clients) client.join();
  for (const auto& line : lines) EXPECT_EQ(line, kOk);
}

// The right stop request, for t at both ends of the panel's range and between.
class StandInStop : public StandInApp, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(StandInStop, RightTokenAnswersAndEndsTheProcess) {
  std::string response;
  ASSERT_TRUE(tsm::HttpGet(tsm::kServerHost, StopPath(GetParam()), port, response));
  EXPECT_EQ(SplitAnswer(response).statusLine, kOk);
  EXPECT_EQ(server->WaitForExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(WaitUntil([&] { return !AcceptsConnections(port); }, kStartBoundMs));
}

INSTANTIATE_TEST_SUITE_P(TokenRange, StandInStop, ::testing::Values(100, 157, 199));

// Configurations from which no port can be had: the server must end with a failure and never listen.
struct NoPortCase {
  const char* name;
  std::optional<std::string> config; // nothing: no configuration file at all
};

class StandInNoPort : public ::testing::TestWithParam<NoPortCase> {};

TEST_P(StandInNoPort, ExitsWithAFailureWithoutListening) {
  const tsm::WinsockSession winsock;
  const ScratchFolder work;
  if (GetParam().config) WriteConfig(work, *GetParam().config);
  const ChildProcess server(BuiltFile(kServerExe), work.Path());
  ASSERT_TRUE(server.Started());
  const auto code = server.WaitForExit();
  ASSERT_TRUE(code) << "still running";
  EXPECT_NE(*code, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, StandInNoPort,
    ::testing::Values(
        NoPortCase{"NoFile", std::nullopt}, NoPortCase{"EmptyFile", ""}, NoPortCase{"NotXml", "httpPort=8095\r\n"},
        NoPortCase{"PortZero", ConfigWithPort("0")}, NoPortCase{"PortNotANumber", ConfigWithPort("http")},
        NoPortCase{"PortAbove65535", ConfigWithPort("70000")},
        NoPortCase{"ParametersTooDeep", "<a><b><c><d><parameters><parameter name=\"httpPort\" value=\"8095\"/>"
                                        "</parameters></d></c></b></a>"},
        NoPortCase{"ParameterWithoutName", "<a><parameters><parameter value=\"1\"/>"
                                           "<parameter name=\"httpPort\" value=\"8095\"/></parameters></a>"}),
    tsm::test::CaseName());

TEST(StandInPortTaken, ExitsWithAFailure) {
  const tsm::WinsockSession winsock;
  // Someone else listens on the loopback address at the configured port.
  const tsm::UniqueSocket holder(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(holder);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  const bool holding = bind(holder.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                       listen(holder.Get(), 1) == 0 &&
                       getsockname(holder.Get(), reinterpret_cast<sockaddr*>(&address), &size) == 0;
  std::optional<DWORD> code;
  if (holding) {
    const ScratchFolder work;
    WriteConfig(work, ConfigWithPort(ntohs(address.sin_port)));
    const ChildProcess server(BuiltFile(kServerExe), work.Path());
    if (server.Started()) code = server.WaitForExit();
  }
  ASSERT_TRUE(holding);
  ASSERT_TRUE(code) << "not started, or still running";
  EXPECT_NE(*code, 0u);
}

// The samples as they are copied beside the built server.
TEST(StandInSamples, SitBesideTheServerWithWindowsLineEnds) {
  for (const char* name :
       {"TorvaleServer.exe", "run.bat", "InstallService.bat", "UninstallService.bat", "config\\AppConfig.xml"}) {
    SCOPED_TRACE(name);
    const fs::path path = BuiltFile(name);
    ASSERT_TRUE(fs::is_regular_file(path));
    if (path.extension() == ".exe") continue;
    const auto text = ReadFileBytes(path);
    for (std::size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
  }
}

TEST(StandInSamples, ConfigurationGivesAPortTheWayThePanelReadsIt) {
  const WorkingFolderScope inBin(BuiltFile(""));
  const TComInit com;
  ASSERT_TRUE(com.Succeeded());
  const auto port = ResolveHttpPort();
  ASSERT_TRUE(port);
  EXPECT_GT(*port, 0);
  EXPECT_LE(*port, 65535);
  // The parameters element sits two levels below the root.
  const TXMLAdapter adapter(tsm::kConfigPath);
  ASSERT_TRUE(adapter.IsLoaded()) << adapter.GetErrorText();
  EXPECT_FALSE(adapter.FindElement(tsm::kParametersElement, 1));
  EXPECT_TRUE(adapter.FindElement(tsm::kParametersElement, 2));
}

// The run script, copied with the server into another folder, opened the way the panel opens it: the server runs
// from the script's folder and reads the configuration of the caller's working folder.
TEST(StandInSamples, RunScriptStartsTheServerInTheCallersFolder) {
  const tsm::WinsockSession winsock;
  const ScratchFolder install;
  const ScratchFolder work;
  (void)install.CopyIn(BuiltFile(kServerExe));
  const std::string script = install.CopyIn(BuiltFile(tsm::kRunScript));
  const auto port = FreePort();
  ASSERT_GT(port, 0);
  WriteConfig(work, ConfigWithPort(port));

  // Whatever the outcome, nothing of this test keeps running.
  const ProcessSweep sweep(install.Path(), SweepBy::Folder);
  bool listening = false;
  bool stopped = false;
  std::size_t instances = 0;
  {
    const WorkingFolderScope inWork(work.Path());
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", script.c_str(), nullptr, nullptr, SW_HIDE));
    EXPECT_GT(result, 32);
    listening = result > 32 && WaitUntilListening(port);
    instances = sweep.Count();
    if (listening) {
      std::string response;
      stopped = tsm::HttpGet(tsm::kServerHost, StopPath(123), port, response) &&
                WaitUntil([&] { return !AcceptsConnections(port); }, kStartBoundMs);
    }
  }
  (void)sweep.EndAll();
  EXPECT_TRUE(listening);
  EXPECT_EQ(instances, 1u);
  EXPECT_TRUE(stopped);
}

} // namespace
