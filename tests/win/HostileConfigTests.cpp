// A corpus of hostile configuration files: missing, empty, not XML, in odd encodings, deep, huge, exploding, with
// broken parameters, odd numbers, duplicates and prefixes. Each goes through the real lookup (MSXML through COM) in
// a scratch working folder, as a table of the ports it resolves to; a representative subset also goes under the
// real panel, which must show what that port leads to, write nothing, and keep answering.
#include "win32/ComInit.h"
#include "config/ConfigLookup.h"
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/ProcessGauge.h"
#include "support/CaseName.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tsm::ResolveHttpPort;
using tsm::TComInit;
using tsm::test::FolderState;
using tsm::test::HealthWatch;
using tsm::test::IdleThreads;
using tsm::test::kBulkBoundMs;
using tsm::test::kCheckingStatus;
using tsm::test::kNotRunning;
using tsm::test::kRunningSince;
using tsm::test::LocalHttpServer;
using tsm::test::PanelDriver;
using tsm::test::PanelInFolder;
using tsm::test::PanelOptions;
using tsm::test::ProcessGauge;
using tsm::test::ScratchFolder;
using tsm::test::ServerConnection;
using tsm::test::StateOf;
using tsm::test::TickAndLetItEnd;
using tsm::test::WorkingFolderScope;

constexpr char kConfigFile[] = "config\\AppConfig.xml";
constexpr char kServerSays[] = "hostile-config";
const std::string kRunning = kRunningSince + std::string(kServerSays);

// ---------------------------------------------------------------------------------------------------------------------
// Making the files

// Templates are UTF-8 text in which @P@ stands for the port in decimal, @HEX@ for it in hexadecimal, @P+65536@ for
// the port plus 65536 (the same port on the wire, once the high bits are dropped) and @FULLWIDTH-P@ for its decimal
// digits in their fullwidth forms (U+FF10 to U+FF19).
[[nodiscard]] std::string Fill(std::string text, std::int32_t port) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(port));
  std::string fullwidth;
  for (const char digit : std::to_string(port))
    fullwidth += std::string("\xEF\xBC") + static_cast<char>(0x90 + digit - '0');
  const std::pair<std::string, std::string> fills[] = {{"@P@", std::to_string(port)},
                                                       {"@HEX@", hex},
                                                       {"@P+65536@", std::to_string(port + 65536)},
                                                       {"@FULLWIDTH-P@", fullwidth}};
  for (const auto& [from, to] : fills)
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  return text;
}

[[nodiscard]] std::wstring Wide(const std::string& utf8) {
  const int n =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) throw std::runtime_error("template is not UTF-8");
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

[[nodiscard]] std::string Utf16(const std::string& utf8, bool bigEndian, bool bom) {
  std::wstring wide = Wide(utf8);
  if (bom) wide.insert(wide.begin(), L'\xFEFF');
  std::string bytes;
  for (const wchar_t c : wide) {
    const char low = static_cast<char>(c & 0xFF);
    const char high = static_cast<char>((c >> 8) & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

[[nodiscard]] std::string Utf32(const std::string& utf8) {
  std::string bytes("\xFF\xFE\0\0", 4);
  for (const wchar_t c : Wide(utf8)) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
    bytes.append(2, '\0');
  }
  return bytes;
}

// A single-byte code page's bytes for the text; every character of the template must exist in it.
[[nodiscard]] std::string InCodePage(const std::string& utf8, UINT codePage) {
  const std::wstring wide = Wide(utf8);
  BOOL lossy = FALSE;
  const int n =
      WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr, &lossy);
  if (n <= 0 || lossy) throw std::runtime_error("template does not fit code page " + std::to_string(codePage));
  return bytes;
}

// The server's own layout: parameters two levels below the root.
[[nodiscard]] std::string Doc(const std::string& children, const std::string& declaration = "") {
  return declaration + "<configuration>\r\n  <server>\r\n    <parameters>\r\n      " + children +
         "\r\n    </parameters>\r\n  </server>\r\n</configuration>\r\n";
}

[[nodiscard]] std::string P(const std::string& name, const std::string& value) {
  return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
}

const std::string kPortChild = P("httpPort", "@P@");
const std::string kLatinChildren = "<!-- caf\xC3\xA9 -->" + P("caf\xC3\xA9", "na\xC3\xAFve") + kPortChild;

// The port's parameters, then more below the root.
[[nodiscard]] std::string AfterTheParameters(const std::string& more) {
  return "<configuration><server><parameters>" + kPortChild + "</parameters>" + more + "</server></configuration>";
}

[[nodiscard]] std::string Nested(int levels, const std::string& inside) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<n>";
  text += inside;
  for (int i = 0; i < levels; ++i) text += "</n>";
  return text;
}

// Expansion that would reach 3 * 10^9 bytes: ten entities, each ten of the one before, whose values write the
// ampersand of each reference as `ampersand` (a character reference becomes the ampersand in the value).
[[nodiscard]] std::string BillionLaughs(const std::string& ampersand = "&") {
  std::string text = "<?xml version=\"1.0\"?>\r\n<!DOCTYPE configuration [\r\n  <!ENTITY lol0 \"lol\">\r\n";
  for (int i = 1; i <= 9; ++i) {
    text += "  <!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) text += ampersand + "lol" + std::to_string(i - 1) + ";";
    text += "\">\r\n";
  }
  return text + "]>\r\n<configuration><server><laughs>&lol9;</laughs><parameters>" + kPortChild +
         "</parameters></server></configuration>\r\n";
}

// About 5 MB of empty elements before the parameters.
[[nodiscard]] std::string HugeSiblings() {
  std::string siblings;
  siblings.reserve(5u << 20);
  while (siblings.size() < (5u << 20)) siblings += "<s a=\"1\"/>";
  return "<configuration>" + siblings + "<server><parameters>" + kPortChild + "</parameters></server></configuration>";
}

[[nodiscard]] std::string ManyParameters(int count) {
  std::string children;
  // The name built up in place: GCC 12 warns wrongly about "p" + std::string&& here.
  for (int i = 0; i < count; ++i) children += P(std::string(1, 'p').append(std::to_string(i)), "1");
  return Doc(children + kPortChild);
}

[[nodiscard]] std::string AllBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 256);
  return bytes;
}

// ---------------------------------------------------------------------------------------------------------------------
// The cases

using MakeFile = std::function<std::string(std::int32_t port)>;
using WantPort = std::function<std::optional<std::int32_t>(std::int32_t port)>;

struct ConfigCase {
  const char* name;
  MakeFile file;
  WantPort port;        // what the resolution yields
  bool throws = false;  // the resolution ends with an error (and so yields nothing)
  bool onPanel = false; // also run under the real panel
  std::size_t memoryBoundMb = 64;
};

[[nodiscard]] MakeFile Text(std::string text) {
  return [text = std::move(text)](std::int32_t port) { return Fill(text, port); };
}
[[nodiscard]] MakeFile Bytes(std::string bytes) {
  return [bytes = std::move(bytes)](std::int32_t) { return bytes; };
}
[[nodiscard]] MakeFile Utf16File(std::string text, bool bigEndian, bool bom) {
  return [=](std::int32_t port) { return Utf16(Fill(text, port), bigEndian, bom); };
}
[[nodiscard]] MakeFile CodePageFile(std::string text, UINT codePage) {
  return [=](std::int32_t port) { return InCodePage(Fill(text, port), codePage); };
}
// A document whose httpPort2 holds value, with no httpPort to fall back on.
[[nodiscard]] MakeFile Port2(std::string value) { return Text(Doc(P("httpPort2", value))); }

[[nodiscard]] WantPort ThePort() {
  return [](std::int32_t port) { return std::optional<std::int32_t>(port); };
}
[[nodiscard]] WantPort NoPort() {
  return [](std::int32_t) { return std::optional<std::int32_t>(); };
}
[[nodiscard]] WantPort Exactly(std::int32_t value) {
  return [value](std::int32_t) { return std::optional<std::int32_t>(value); };
}

const std::string kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
const std::string kUtf16Declaration = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";

const ConfigCase kFiles[] = {
    // Not XML at all.
    {"EmptyFile", Bytes(""), NoPort(), false, true},
    {"OnlyBlanks", Bytes("  \r\n\t \r\n"), NoPort()},
    {"PlainText", Text("httpPort=@P@\r\n"), NoPort(), false, true},
    {"BinaryJunk", Bytes(AllBytes(4096)), NoPort()},
    {"CutInTheMiddle",
     [](std::int32_t port) {
       const auto d = Fill(Doc(kPortChild), port);
       return d.substr(0, d.size() / 2);
     },
     NoPort()},
    {"NulInsideMarkup",
     Text(std::string("<configuration>\0", 16) + "<server><parameters>" + kPortChild +
          "</parameters></server></configuration>"),
     NoPort()},
    // Wine's parser stops at the end of the root element and never looks at what follows it.
    {"NulsAfterTheRoot", Text(Doc(kPortChild) + std::string(4, '\0')), ThePort()},

    // Encodings and byte-order marks.
    {"Utf8WithBom", Text("\xEF\xBB\xBF" + kUtf8Declaration + Doc(kLatinChildren)), ThePort(), false, true},
    {"Utf16LittleEndianWithBom", Utf16File(kUtf16Declaration + Doc(kLatinChildren), false, true), ThePort(), false,
     true},
    {"Utf16BigEndianWithBom", Utf16File(kUtf16Declaration + Doc(kLatinChildren), true, true), ThePort()},
    {"Utf16WithoutBomButDeclared", Utf16File(kUtf16Declaration + Doc(kLatinChildren), false, false), ThePort()},
    {"Utf16WithBomAndNoDeclaration", Utf16File(Doc(kLatinChildren), false, true), ThePort()},
    {"Iso88591Declared",
     CodePageFile("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n" + Doc(kLatinChildren), 28591), ThePort(), false,
     true},
    {"Windows1252Declared",
     CodePageFile(
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n" + Doc("<!-- \xE2\x82\xAC -->" + kLatinChildren), 1252),
     ThePort()},
    {"Latin1BytesWithoutDeclaration", CodePageFile(Doc(kLatinChildren), 28591), NoPort()},
    {"Utf8DeclaredAsUtf16", Text(kUtf16Declaration + Doc(kLatinChildren)), NoPort()},
    {"UnknownEncoding", Text("<?xml version=\"1.0\" encoding=\"x-no-such-code\"?>" + Doc(kPortChild)), NoPort()},
    {"Utf32WithBom", [](std::int32_t port) { return Utf32(Fill(Doc(kPortChild), port)); }, NoPort()},
    {"TwoBoms", Text("\xEF\xBB\xBF\xEF\xBB\xBF" + Doc(kPortChild)), NoPort()},
    {"BlankBeforeTheDeclaration", Text(" " + kUtf8Declaration + Doc(kPortChild)), NoPort()},

    // Where the parameters are.
    {"ParametersAtLevel3", Text("<a><b><c><parameters>" + kPortChild + "</parameters></c></b></a>"), ThePort()},
    {"ParametersAtLevel4", Text("<a><b><c><d><parameters>" + kPortChild + "</parameters></d></c></b></a>"), NoPort(),
     false, true},
    {"DeepNestingAfterTheParameters", Text(AfterTheParameters(Nested(240, ""))), ThePort()},
    // Wine's parser refuses elements nested more than 256 deep, so the whole file fails to load.
    {"NestingBeyondTheParsersLimit", Text(AfterTheParameters(Nested(400, ""))), NoPort()},
    {"FourMegabyteValueBeforeTheFallback", Text(Doc(P("httpPort2", std::string(4u << 20, '9')) + kPortChild)),
     ThePort()},
    // Wine's parser refuses to expand the entities (its amplification check) and the load fails at once.
    {"BillionLaughs", Text(BillionLaughs()), NoPort(), false, true},
    {"BillionLaughsThroughCharacterReferences", Text(BillionLaughs("&#x26;")), NoPort()},
    {"PortFromAnInternalEntity",
     Text("<!DOCTYPE configuration [<!ENTITY port \"@P@\">]>" + Doc(P("httpPort", "&port;"))), ThePort()},
    {"NameFromACharacterReference", Text(Doc(P("httpPort&#50;", "@P@"))), ThePort()},

    // Broken parameters.
    {"MissingNameBeforeThePort", Text(Doc("<parameter value=\"1\"/>" + kPortChild)), NoPort(), true, true},
    {"MissingValueOnHttpPort2", Text(Doc("<parameter name=\"httpPort2\"/>" + kPortChild)), NoPort(), true},
    {"MissingValueOnTheFallback", Text(Doc(P("httpPort2", "x") + "<parameter name=\"httpPort\"/>")), NoPort(), true},
    {"MissingNameAfterThePort", Text(Doc(P("httpPort2", "@P@") + "<parameter value=\"1\"/>")), ThePort()},
    {"NameInUpperCaseIsNoName", Text(Doc("<parameter NAME=\"httpPort2\" value=\"1\"/>" + kPortChild)), NoPort(), true},
    {"NameInAnotherNamespace",
     Text(Doc("<parameter xmlns:x=\"urn:x\" x:name=\"httpPort2\" value=\"1\"/>" + kPortChild)), NoPort(), true},

    // Numbers.
    {"HexWith0x", Port2("0x@HEX@"), ThePort(), false, true},
    {"HexWithDollarInLowerCase",
     [](std::int32_t port) {
       char hex[16];
       std::snprintf(hex, sizeof hex, "$%x", static_cast<unsigned>(port));
       return Fill(Doc(P("httpPort2", hex)), port);
     },
     ThePort()},
    {"HexWithCapitalX", Port2("X@HEX@"), ThePort()},
    {"HexWithLeadingZeros", Port2("0x00000000@HEX@"), ThePort()},
    {"HexOfNineDigits", Port2("0x100001F90"), NoPort()},
    {"HexTopBitIsNegative", Port2("$80000000"), NoPort()},
    {"LonePrefix", Port2("0x"), NoPort()},
    {"PlusSign", Port2("+@P@"), ThePort()},
    {"MinusSign", Port2("-@P@"), NoPort()},
    {"TwoSigns", Port2("+-@P@"), NoPort()},
    {"LeadingSpaces", Port2("   @P@"), ThePort(), false, true},
    {"LeadingZeros", Port2("000@P@"), ThePort()},
    {"TrailingSpaceFallsBack", Text(Doc(P("httpPort2", "1 ") + kPortChild)), ThePort()},
    {"TabReferenceFallsBack", Text(Doc(P("httpPort2", "&#9;1") + kPortChild)), ThePort()},
    {"ZeroFallsBack", Text(Doc(P("httpPort2", "0") + kPortChild)), ThePort()},
    {"EmptyFallsBack", Text(Doc(P("httpPort2", "") + kPortChild)), ThePort()},
    {"ZeroAlone", Port2("0"), NoPort()},
    {"Highest16BitPort", Port2("65535"), Exactly(65535)},
    {"Int32Overflow", Port2("2147483648"), NoPort()},
    {"TwentyDigits", Port2("99999999999999999999"), NoPort()},
    {"DecimalPoint", Port2("@P@.0"), NoPort()},
    {"Exponent", Port2("1e3"), NoPort()},
    // The system's code page has no fullwidth forms; the conversion to it takes their closest ASCII look-alikes.
    {"FullwidthDigitsReadAsDigits", Port2("@FULLWIDTH-P@"), ThePort()},
    {"FullwidthNameReadAsTheName", Text(Doc(P("http\xEF\xBC\xB0ort2", "@P@"))), ThePort()},
    {"ArabicIndicDigits", Port2("\xD9\xA8\xD9\xA0\xD9\xA8\xD9\xA0"), NoPort()},
    {"BothInvalid", Text(Doc(P("httpPort2", "x") + P("httpPort", "y"))), NoPort()},

    // Duplicates.
    {"DuplicateHttpPort2FirstWins", Text(Doc(P("httpPort2", "@P@") + P("httpPort2", "1"))), ThePort(), false, true},
    {"FirstParametersElementWinsEvenWithoutPorts",
     Text("<configuration><parameters>" + P("other", "1") + "</parameters><parameters>" + kPortChild +
          "</parameters></configuration>"),
     NoPort()},
    {"DuplicateAttributeIsNotWellFormed",
     Text(Doc("<parameter name=\"httpPort\" name=\"httpPort2\" value=\"1\"/>" + kPortChild)), NoPort()},

    // Namespaces.
    {"PrefixedParametersElement",
     Text("<configuration xmlns:t=\"urn:t\"><t:parameters>" + kPortChild + "</t:parameters></configuration>"), NoPort(),
     false, true},
    {"DefaultNamespace",
     Text("<configuration xmlns=\"urn:t\"><parameters>" + kPortChild + "</parameters></configuration>"), ThePort()},
    {"PrefixedParameterChildren",
     Text("<configuration xmlns:t=\"urn:t\"><parameters><t:parameter name=\"httpPort\" value=\"@P@\"/>"
          "</parameters></configuration>"),
     ThePort()},
};

// Nothing bounds the port from above: the number is taken as it is, and only its low 16 bits reach the socket.
// Above the TCP range nothing counts as a port: only the low 16 bits would reach the socket, and a stop request could
// land on some other program's port.
const ConfigCase kPortsAboveTheTcpRange[] = {
    {"Above65535", Port2("65536"), NoPort(), false, true},
    {"PortPlus65536", Port2("@P+65536@"), NoPort(), false, true},
    {"Int32Max", Port2("2147483647"), NoPort()},
    {"HexInt32Max", Port2("$7FFFFFFF"), NoPort()},
};

// About 5 MB of siblings before the parameters, or tens of thousands of parameters: the lookup walks them all, twice
// when httpPort2 is missing.
const ConfigCase kHugeFiles[] = {
    {"FiveMegabytesOfSiblings", [](std::int32_t port) { return Fill(HugeSiblings(), port); }, ThePort(), false, true,
     1024},
    // The same inside the parameters element: 150,000 other parameters (6 MB) ahead of the port's.
    {"ManyParametersBeforeThePort", [](std::int32_t port) { return Fill(ManyParameters(150000), port); }, ThePort(),
     false, false, 512},
};

// ---------------------------------------------------------------------------------------------------------------------
// The lookup, straight

[[nodiscard]] std::uint64_t PeakPrivateBytes() {
  const auto memory = tsm::test::ProcessMemory(GetCurrentProcessId());
  return memory ? memory->peakPrivateBytes : 0;
}

struct Resolved {
  bool ended = false;
  std::optional<std::int32_t> port;
  bool threw = false;
  std::string error;
};

// ResolveHttpPort on a worker thread of its own with COM, as a probe runs it, waited for at most timeoutMs. A
// lookup that ends is joined, so that its thread's memory is given back before the next case measures its own; one
// that does not end in time is left running (the process ends it); its state is shared, not on our stack.
[[nodiscard]] Resolved ResolveBounded(DWORD timeoutMs) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    Resolved result;
  };
  const auto shared = std::make_shared<Shared>();
  std::thread worker([shared] {
    Resolved result;
    {
      const TComInit com;
      try {
        result.port = ResolveHttpPort();
      } catch (const std::exception& e) {
        result.threw = true;
        result.error = e.what();
      }
    }
    result.ended = true;
    const std::lock_guard lock(shared->mutex);
    shared->result = result;
    shared->done.notify_all();
  });
  std::unique_lock lock(shared->mutex);
  const bool ended =
      shared->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return shared->result.ended; });
  const Resolved result = shared->result;
  lock.unlock();
  if (ended) {
    worker.join();
  } else {
    worker.detach();
  }
  return result;
}

class ConfigPortTable : public testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigPortTable, ResolvesAsTheRulesSay) {
  const ConfigCase& c = GetParam();
  const std::int32_t port = tsm::test::FreePort();
  const ScratchFolder folder;
  const std::string bytes = c.file(port);
  folder.Write(kConfigFile, bytes);
  const WorkingFolderScope inside(folder.Path());

  const std::uint64_t peakBefore = PeakPrivateBytes();
  const Resolved resolved = ResolveBounded(kBulkBoundMs);
  const std::uint64_t peakAfter = PeakPrivateBytes();
  // Wine keeps no true peak: the figure was seen to fall between two readings, below where it stood before.
  const std::uint64_t growth = peakAfter > peakBefore ? peakAfter - peakBefore : 0;

  ASSERT_TRUE(resolved.ended) << "the lookup did not end within " << kBulkBoundMs << " ms";
  EXPECT_EQ(resolved.threw, c.throws) << resolved.error;
  EXPECT_EQ(resolved.port, c.port(port));
  EXPECT_LT(growth, c.memoryBoundMb << 20) << "the lookup's memory grew by " << (growth >> 20) << " MB";
  EXPECT_EQ(tsm::test::ReadFileBytes(folder.PathOf(kConfigFile)), bytes) << "the file changed";
}

INSTANTIATE_TEST_SUITE_P(Files, ConfigPortTable, testing::ValuesIn(kFiles), tsm::test::CaseName());
INSTANTIATE_TEST_SUITE_P(PortsAboveTheTcpRange, ConfigPortTable, testing::ValuesIn(kPortsAboveTheTcpRange),
                         tsm::test::CaseName());
INSTANTIATE_TEST_SUITE_P(HugeFiles, ConfigPortTable, testing::ValuesIn(kHugeFiles), tsm::test::CaseName());

class ConfigFolderAsIs : public testing::Test {
protected:
  // The lookup in folder_ ends, throws nothing and finds no port.
  void ExpectNoPort() const {
    const WorkingFolderScope inside(folder_.Path());
    const Resolved resolved = ResolveBounded(kBulkBoundMs);
    ASSERT_TRUE(resolved.ended);
    EXPECT_FALSE(resolved.threw) << resolved.error;
    EXPECT_EQ(resolved.port, std::nullopt);
  }

  ScratchFolder folder_;
};

TEST_F(ConfigFolderAsIs, NoConfigFolderGivesNoPort) { ExpectNoPort(); }

TEST_F(ConfigFolderAsIs, AFolderWhereTheFileShouldBeGivesNoPort) {
  ASSERT_TRUE(CreateDirectoryA(folder_.PathOf("config").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(folder_.PathOf(kConfigFile).c_str(), nullptr));
  ExpectNoPort();
}

TEST_F(ConfigFolderAsIs, AFileWhereTheConfigFolderShouldBeGivesNoPort) {
  folder_.Write("config", Fill(Doc(kPortChild), tsm::test::FreePort()));
  ExpectNoPort();
}

// Another program holding the file open without sharing: no port now, the port once it lets go.
TEST_F(ConfigFolderAsIs, AFileLockedByAnotherProgramGivesNoPortUntilReleased) {
  const std::int32_t port = tsm::test::FreePort();
  folder_.Write(kConfigFile, Fill(Doc(kPortChild), port));
  const WorkingFolderScope inside(folder_.Path());
  {
    const tsm::test::UniqueHandle lock(CreateFileA(folder_.PathOf(kConfigFile).c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock.Valid());
    const Resolved resolved = ResolveBounded(kBulkBoundMs);
    ASSERT_TRUE(resolved.ended);
    EXPECT_FALSE(resolved.threw) << resolved.error;
    EXPECT_EQ(resolved.port, std::nullopt);
  }
  const Resolved resolved = ResolveBounded(kBulkBoundMs);
  ASSERT_TRUE(resolved.ended);
  EXPECT_EQ(resolved.port, port);
}

// A document type on a server is neither fetched nor needed: the server sees no connection, the port is found.
TEST_F(ConfigFolderAsIs, AnExternalDocumentTypeIsNeverFetched) {
  LocalHttpServer dtdServer(tsm::test::AnswerAndClose(tsm::test::HttpAnswer("<!ENTITY port \"1\">")));
  const std::int32_t port = tsm::test::FreePort();
  const std::string dtd = "http://127.0.0.1:" + std::to_string(dtdServer.Port()) + "/evil.dtd";
  folder_.Write(kConfigFile, Fill("<!DOCTYPE configuration SYSTEM \"" + dtd + "\">" + Doc(kPortChild), port));
  const WorkingFolderScope inside(folder_.Path());
  const Resolved resolved = ResolveBounded(kBulkBoundMs);
  ASSERT_TRUE(resolved.ended);
  EXPECT_EQ(resolved.port, port);
  EXPECT_EQ(dtdServer.Connections(), 0u);
}

// ---------------------------------------------------------------------------------------------------------------------
// The lookup under the real panel

// What the status bar must read once the probe has done with the port the lookup gives: the server on the port
// answers, nothing listens on any other port (only 0 happens here), and no port means no probe at all.
[[nodiscard]] std::string ExpectedStatus(const ConfigCase& c, std::int32_t serverPort) {
  const std::optional<std::int32_t> port = c.throws ? std::nullopt : c.port(serverPort);
  if (!port) return kCheckingStatus;
  return (static_cast<std::uint32_t>(*port) & 0xFFFFu) == static_cast<std::uint32_t>(serverPort) ? kRunning
                                                                                                 : kNotRunning;
}

// Panel runs take long and share one screen: only the cases marked for them.
[[nodiscard]] std::vector<ConfigCase> OnPanel(const ConfigCase* begin, const ConfigCase* end) {
  std::vector<ConfigCase> cases;
  for (const ConfigCase* c = begin; c != end; ++c)
    if (c->onPanel) cases.push_back(*c);
  return cases;
}

class ConfigOnThePanel : public testing::TestWithParam<ConfigCase> {};

// A good configuration written now is read on the next tick, and the server it names shows as running.
void ExpectAGoodFileReadNext(const PanelDriver& panel, const ScratchFolder& folder, const LocalHttpServer& server,
                             HealthWatch& watch) {
  folder.Write(kConfigFile, Fill(Doc(kPortChild), server.Port()));
  panel.Tick();
  EXPECT_TRUE(watch.Until([&] { return panel.StatusText() == kRunning; }, kBulkBoundMs))
      << "the status bar reads \"" << panel.StatusText() << "\"";
}

TEST_P(ConfigOnThePanel, ShowsWhatThePortLeadsToAndWritesNothing) {
  const ConfigCase& c = GetParam();
  LocalHttpServer server([](ServerConnection& connection) {
    if (!connection.ReadRequest()) return;
    connection.Send(tsm::test::HttpAnswer(std::string("<runningSince>") + kServerSays + "</runningSince>"));
  });
  const ScratchFolder folder;
  folder.Write(kConfigFile, c.file(server.Port()));
  // Any write the panel made would show as a later time, even on a coarse clock.
  fs::last_write_time(fs::path(folder.PathOf(kConfigFile)), fs::file_time_type::clock::now() - 1h);
  const FolderState before = StateOf(folder.Path());
  const std::string expected = ExpectedStatus(c, server.Port());

  PanelOptions options;
  options.workingFolder = folder.Path();
  PanelDriver panel(options);
  HealthWatch watch(panel);
  const ProcessGauge gauge(panel.ProcessId());

  if (expected == kCheckingStatus) {
    ASSERT_TRUE(TickAndLetItEnd(panel, gauge, IdleThreads(gauge), kBulkBoundMs)) << "the tick's probe never ended";
    watch.Look();
    EXPECT_EQ(panel.StatusText(), kCheckingStatus);
    EXPECT_EQ(server.Connections(), 0u);
  } else {
    EXPECT_TRUE(watch.Until([&] { return panel.StatusText() == expected; }, kBulkBoundMs))
        << "the status bar reads \"" << panel.StatusText() << "\"";
    // Ticks over a known port never read the file again.
    const std::size_t idle = IdleThreads(gauge);
    ASSERT_TRUE(TickAndLetItEnd(panel, gauge, idle, kBulkBoundMs)) << "the tick's probe never ended";
    ASSERT_TRUE(TickAndLetItEnd(panel, gauge, idle, kBulkBoundMs)) << "the tick's probe never ended";
    watch.Look();
    EXPECT_EQ(panel.StatusText(), expected);
  }
  EXPECT_EQ(StateOf(folder.Path()), before) << "the panel changed its working folder";

  // The panel kept looking: a good file now is read on the next tick.
  if (expected == kCheckingStatus) ExpectAGoodFileReadNext(panel, folder, server, watch);

  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
  EXPECT_LT(watch.MostPrivateBytes(), static_cast<std::uint64_t>(c.memoryBoundMb + 64) << 20)
      << "the panel grew to " << (watch.MostPrivateBytes() >> 20) << " MB";
  std::printf("[hostile] %s: worst round trip %lu ms over %d round trips, most private bytes %llu KiB\n", c.name,
              static_cast<unsigned long>(watch.WorstRoundTripMs()), watch.RoundTrips(),
              static_cast<unsigned long long>(watch.MostPrivateBytes() / 1024));
  std::fflush(stdout);
}

INSTANTIATE_TEST_SUITE_P(Files, ConfigOnThePanel, testing::ValuesIn(OnPanel(std::begin(kFiles), std::end(kFiles))),
                         tsm::test::CaseName());
INSTANTIATE_TEST_SUITE_P(PortsAboveTheTcpRange, ConfigOnThePanel,
                         testing::ValuesIn(OnPanel(std::begin(kPortsAboveTheTcpRange),
                                                   std::end(kPortsAboveTheTcpRange))),
                         tsm::test::CaseName());
INSTANTIATE_TEST_SUITE_P(HugeFiles, ConfigOnThePanel,
                         testing::ValuesIn(OnPanel(std::begin(kHugeFiles), std::end(kHugeFiles))),
                         tsm::test::CaseName());

// No configuration folder at all at start: nothing to show, and the panel keeps looking until one appears.
TEST(ConfigMissingOnThePanel, NothingUntilTheFileAppears) {
  LocalHttpServer server(
      tsm::test::AnswerAndClose(tsm::test::HttpAnswer("<runningSince>hostile-config</runningSince>")));
  PanelInFolder panel;
  HealthWatch watch(panel);
  const ProcessGauge gauge(panel.ProcessId());

  ASSERT_TRUE(TickAndLetItEnd(panel, gauge, IdleThreads(gauge), kBulkBoundMs)) << "the tick's probe never ended";
  watch.Look();
  EXPECT_EQ(panel.StatusText(), kCheckingStatus);
  EXPECT_EQ(server.Connections(), 0u);
  EXPECT_TRUE(fs::is_empty(fs::path(panel.Work().Path()))) << "the panel wrote into its working folder";

  ExpectAGoodFileReadNext(panel, panel.Work(), server, watch);
  EXPECT_TRUE(panel.IsRunning());
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
}

// Closing the window while a worker is deep inside the lookup of a big file: the process still ends at once and
// cleanly (the worker is not waited for, and nothing it holds breaks the exit).
TEST(ConfigOnThePanel, ClosingWhileALookupWalksABigFile) {
  std::string siblings;
  while (siblings.size() < (400u << 10)) siblings += "<s a=\"1\"/>";
  PanelInFolder panel(Fill("<configuration>" + siblings + "<server><parameters>" + kPortChild +
                               "</parameters></server></configuration>",
                           tsm::test::FreePort()));
  HealthWatch watch(panel);
  panel.Tick();
  watch.For(1000);

  EXPECT_TRUE(panel.Close()) << "the panel had to be killed";
  EXPECT_EQ(panel.ExitCode(), 0u);
  EXPECT_EQ(watch.Unanswered(), 0) << "worst round trip " << watch.WorstRoundTripMs() << " ms";
}

} // namespace
