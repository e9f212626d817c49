// The XML adapter, the parameter lookup and the port resolution against real files loaded by MSXML.

#include "win32/ComInit.h"
#include "win32/ComText.h"
#include "win32/WideText.h"
#include "config/ConfigLookup.h"
#include "config/MsxmlUuids.h"
#include "core/ServerContract.h"
#include "config/XMLAdapter.h"
#include "support/TestSupport.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <atomic>
#include <concepts>
#include <ostream>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <variant>

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;
using tsm::GetConfigValue;
using tsm::ResolveHttpPort;
using tsm::TComInit;
using tsm::TXMLAdapter;
using tsm::test::ReadFileBytes;
using tsm::test::ScratchFolder;
using tsm::test::StateOf;
using tsm::test::WorkingFolderScope;
using tsm::test::WriteConfig;

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)

constexpr char kUntouched[] = "untouched";
constexpr char kNotExpectedFormat[] = "Config file is not in expected format";

[[nodiscard]] std::string Parameters(const std::string& children) {
  return "<configuration><parameters>" + children + "</parameters></configuration>";
}

// One parameter child.
[[nodiscard]] std::string P(const char* name, const char* value) {
  return std::string("<p name=\"") + name + "\" value=\"" + value + "\"/>";
}

// Each test in a fresh, empty working folder of its own; the previous working folder comes back and the folder goes
// away when it ends, whatever the test did.
class XmlConfig : public ::testing::Test {
protected:
  TComInit Com;
  ScratchFolder Folder;
  WorkingFolderScope Inside{Folder.Path()};
};

// ---------------------------------------------------------------------------------------------------------------------
// Loading

struct LoadFailureCase {
  const char* name;
  std::optional<std::string> content; // nothing: no file at all
  tsm::XmlLoadFailure failure;
  bool lineKnown; // the line at fault is found, whichever reader it is
};

class LoadFailure : public XmlConfig, public ::testing::WithParamInterface<LoadFailureCase> {};

TEST_P(LoadFailure, ReportsTheParsersMessage) {
  if (GetParam().content) WriteConfig(Folder, *GetParam().content);

  const TXMLAdapter adapter(tsm::kConfigPath);
  EXPECT_FALSE(adapter.IsLoaded());
  EXPECT_FALSE(adapter.GetErrorText().empty());
  EXPECT_FALSE(adapter.FindElement(tsm::kParametersElement, tsm::kParametersDepth));
  EXPECT_EQ(adapter.GetFailure(), GetParam().failure);
  if (GetParam().lineKnown) {
    EXPECT_GT(adapter.GetErrorLine(), 0);
  }

  std::string errorText = kUntouched;
  EXPECT_EQ(GetConfigValue(tsm::kPortParameter, errorText), "");
  EXPECT_EQ(errorText, adapter.GetErrorText());
  const auto why = tsm::ReadHttpPort();
  ASSERT_TRUE(std::holds_alternative<tsm::NoPortReason>(why));
  EXPECT_EQ(std::get<tsm::NoPortReason>(why).Reason, adapter.GetErrorText());
  EXPECT_EQ(std::get<tsm::NoPortReason>(why).Line, adapter.GetErrorLine());
}

const LoadFailureCase kLoadFailures[] = {
    {"MissingFile", std::nullopt, tsm::XmlLoadFailure::NoFile, false},
    {"EmptyFile", "", tsm::XmlLoadFailure::Malformed, true},
    {"UnclosedElement", "<configuration><parameters><p name=\"httpPort\" value=\"8080\"/></configuration>",
     tsm::XmlLoadFailure::Malformed, true},
    {"TwoRoots", "<a/><b/>", tsm::XmlLoadFailure::Malformed, true},
    {"UnquotedAttribute", Parameters("<p name=httpPort value=8080/>"), tsm::XmlLoadFailure::Malformed, true},
    {"UndefinedEntity", Parameters("<p name=\"httpPort\" value=\"&port;\"/>"), tsm::XmlLoadFailure::Malformed, false},
    {"PlainText", "httpPort=8080\r\n", tsm::XmlLoadFailure::Malformed, true},
};
INSTANTIATE_TEST_SUITE_P(Files, LoadFailure, ::testing::ValuesIn(kLoadFailures), tsm::test::CaseName());

TEST_F(XmlConfig, MissingFolderFailsLikeAMissingFile) {
  const TXMLAdapter adapter(tsm::kConfigPath);
  EXPECT_FALSE(adapter.IsLoaded());
  EXPECT_FALSE(adapter.GetErrorText().empty());
  EXPECT_EQ(adapter.GetFailure(), tsm::XmlLoadFailure::NoFile);
}

TEST_F(XmlConfig, AdapterRecordsTheFileNameAsGiven) {
  WriteConfig(Folder, Parameters(""));
  const TXMLAdapter adapter("config\\..\\config\\AppConfig.xml");
  EXPECT_TRUE(adapter.IsLoaded());
  EXPECT_EQ(adapter.GetErrorText(), "");
  EXPECT_EQ(adapter.GetFileName(), "config\\..\\config\\AppConfig.xml");
}

// Wine's MSXML on its own would find a relative path in the executable's folder before the working folder.
TEST_F(XmlConfig, RelativePathMeansTheWorkingFolderOnly) {
  const std::string name = "tsm_xml_beside_exe_" + std::to_string(GetCurrentProcessId()) + ".xml";
  std::string besideExePath;
  ASSERT_NO_THROW(besideExePath = tsm::test::BuiltFile(name)) << "the test executable's path cannot be read";
  const fs::path besideExe = tsm::WideFromUtf8(besideExePath);
  std::ofstream(besideExe, std::ios::binary) << Parameters(P("httpPort", "8080"));
  ASSERT_TRUE(fs::is_regular_file(besideExe)) << "nothing was written beside the executable";
  struct Remove {
    fs::path Path;
    ~Remove() {
      std::error_code ignored;
      fs::remove(Path, ignored);
    }
  } const remove{besideExe};

  const TXMLAdapter missing(name);
  EXPECT_FALSE(missing.IsLoaded());

  Folder.Write(name, Parameters(P("httpPort", "9090")));
  const TXMLAdapter found(name);
  ASSERT_TRUE(found.IsLoaded());
  const auto parameter = found.FindElement("p", 2);
  ASSERT_TRUE(parameter);
  tsm::TVariant value;
  const tsm::TBstr attribute(L"value");
  ASSERT_EQ(parameter->getAttribute(attribute.Get(), value.Receive()), S_OK);
  ASSERT_EQ(value.Get().vt, VT_BSTR);
  EXPECT_EQ(std::wstring_view(value.Get().bstrVal), L"9090");
}

// A well-formed file loads whatever document type it declares: nothing is validated and nothing is fetched.
TEST_F(XmlConfig, DocumentTypeDeclarationsLoad) {
  WriteConfig(Folder, "<?xml version=\"1.0\"?>\n"
                      "<!DOCTYPE configuration [<!ENTITY port \"8080\"><!ELEMENT configuration EMPTY>]>\n" +
                          Parameters("<p name=\"httpPort\" value=\"&port;\"/>"));
  EXPECT_EQ(ResolveHttpPort(), 8080);

  WriteConfig(Folder,
              "<!DOCTYPE configuration SYSTEM \"missing.dtd\">" + Parameters("<p name=\"httpPort\" value=\"80\"/>"));
  EXPECT_EQ(ResolveHttpPort(), 80);

  // Nested entities that would expand to a billion characters never reach the parser: no port, at once.
  std::string laughs = "<!DOCTYPE configuration [<!ENTITY l0 \"lol\">";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  WriteConfig(Folder, laughs + "]>" + Parameters("<p name=\"httpPort\" value=\"80\"/><p name=\"x\" value=\"&l9;\"/>"));
  EXPECT_EQ(ResolveHttpPort(), std::nullopt);
}

// Without COM on the thread the document cannot even be created; that is a load failure like any other.
TEST(XmlAdapterWithoutCom, FailsToLoadWithoutThrowing) {
  bool loaded = true;
  std::string errorText;
  std::thread([&] {
    const TXMLAdapter adapter(tsm::kConfigPath);
    loaded = adapter.IsLoaded();
    errorText = adapter.GetErrorText();
  }).join();
  EXPECT_FALSE(loaded);
  EXPECT_FALSE(errorText.empty());
}

// ---------------------------------------------------------------------------------------------------------------------
// Finding an element

TEST_F(XmlConfig, FindElementLimitsTheDepth) {
  WriteConfig(Folder, "<r><one><two><three><four/></three></two></one></r>");
  const TXMLAdapter adapter(tsm::kConfigPath);
  ASSERT_TRUE(adapter.IsLoaded());

  const char* const names[] = {"one", "two", "three", "four"};
  for (int depth = -1; depth <= 5; ++depth) {
    for (int level = 1; level <= 4; ++level) {
      const auto element = adapter.FindElement(names[level - 1], depth);
      EXPECT_EQ(static_cast<bool>(element), level <= depth) << names[level - 1] << " at depth " << depth;
      if (!element) continue;
      tsm::TBstr nodeName;
      ASSERT_EQ(element->get_nodeName(nodeName.Receive()), S_OK);
      EXPECT_EQ(tsm::AnsiFromWide(nodeName.View()), names[level - 1]);
    }
  }
  EXPECT_FALSE(adapter.FindElement("r", 5)) << "the root is never compared";
}

TEST_F(XmlConfig, FindElementComparesTheQualifiedName) {
  WriteConfig(Folder, "<r xmlns:x=\"urn:a\"><x:parameters id=\"1\"/><Parameters id=\"2\"/><parameters id=\"3\"/></r>");
  const TXMLAdapter adapter(tsm::kConfigPath);
  ASSERT_TRUE(adapter.IsLoaded());

  const std::pair<const char*, const wchar_t*> finds[] = {
      {"x:parameters", L"1"}, {"Parameters", L"2"}, {"parameters", L"3"}};
  for (const auto& [name, id] : finds) {
    const auto element = adapter.FindElement(name, 1);
    ASSERT_TRUE(element) << name;
    tsm::TVariant value;
    const tsm::TBstr attribute(L"id");
    ASSERT_EQ(element->getAttribute(attribute.Get(), value.Receive()), S_OK);
    ASSERT_EQ(value.Get().vt, VT_BSTR);
    EXPECT_EQ(std::wstring_view(value.Get().bstrVal), id) << name;
  }
  EXPECT_FALSE(adapter.FindElement("x", 1));
  EXPECT_FALSE(adapter.FindElement("", 1));
}

// The elements handed out are counted references: they outlive a move of the adapter.
TEST_F(XmlConfig, FoundElementSurvivesAMoveOfTheAdapter) {
  WriteConfig(Folder, Parameters(""));
  TXMLAdapter adapter(tsm::kConfigPath);
  const auto element = adapter.FindElement("parameters", 1);
  ASSERT_TRUE(element);
  const TXMLAdapter moved(std::move(adapter));
  EXPECT_TRUE(moved.IsLoaded());
  tsm::TBstr nodeName;
  ASSERT_EQ(element->get_nodeName(nodeName.Receive()), S_OK);
  EXPECT_EQ(nodeName.View(), L"parameters");
  EXPECT_TRUE(moved.FindElement("parameters", 1));
}

// ---------------------------------------------------------------------------------------------------------------------
// Looking up a parameter

struct LookupCase {
  const char* name;
  std::string xml;
  const char* parameter;
  std::string value;
  std::string errorText; // kUntouched when the lookup must leave it alone
};

class Lookup : public XmlConfig, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, ReturnsTheValueAndTouchesErrorTextOnlyOnFailure) {
  WriteConfig(Folder, GetParam().xml);
  std::string errorText = kUntouched;
  EXPECT_EQ(GetConfigValue(GetParam().parameter, errorText), GetParam().value);
  EXPECT_EQ(errorText, GetParam().errorText);
}

const std::string kKV = "<p name=\"k\" value=\"v\"/>";

const LookupCase kLookups[] = {
    // Where the parameters element may be.
    {"ParametersAtLevel1", "<r><parameters>" + kKV + "</parameters></r>", "k", "v", kUntouched},
    {"ParametersAtLevel2", "<r><a><parameters>" + kKV + "</parameters></a></r>", "k", "v", kUntouched},
    {"ParametersAtLevel3", "<r><a><b><parameters>" + kKV + "</parameters></b></a></r>", "k", "v", kUntouched},
    {"ParametersAtLevel4", "<r><a><b><c><parameters>" + kKV + "</parameters></c></b></a></r>", "k", "",
     kNotExpectedFormat},
    {"NoParameters", "<r><a/><b/></r>", "k", "", kNotExpectedFormat},
    {"PreOrderBeatsShallower",
     "<r><a><b><parameters><p name=\"k\" value=\"deep\"/></parameters></b></a>"
     "<parameters><p name=\"k\" value=\"shallow\"/></parameters></r>",
     "k", "deep", kUntouched},
    {"FirstParametersEvenWithoutTheName",
     "<r><parameters><p name=\"other\" value=\"1\"/></parameters><parameters>" + kKV + "</parameters></r>", "k", "",
     kUntouched},
    {"SiblingSubtreeAfterTooDeepOne",
     "<r><a><b><c><parameters><p name=\"k\" value=\"deep\"/></parameters></c></b></a>"
     "<d><parameters>" +
         kKV + "</parameters></d></r>",
     "k", "v", kUntouched},
    {"RootNamedParametersNeverMatches", "<parameters>" + kKV + "</parameters>", "k", "", kNotExpectedFormat},
    {"ParametersInsideRootNamedParameters",
     "<parameters><parameters><p name=\"k\" value=\"inner\"/></parameters></parameters>", "k", "inner", kUntouched},
    {"PrefixedParametersDoNotMatch", "<r xmlns:x=\"urn:a\"><x:parameters>" + kKV + "</x:parameters></r>", "k", "",
     kNotExpectedFormat},
    {"DefaultNamespaceStillMatches", "<r xmlns=\"urn:a\"><parameters>" + kKV + "</parameters></r>", "k", "v",
     kUntouched},
    {"ParametersNameIsCaseSensitive", "<r><Parameters>" + kKV + "</Parameters></r>", "k", "", kNotExpectedFormat},
    {"OtherNodesBeforeParameters",
     "<?xml version=\"1.0\"?><!-- head --><r>text<!-- c --><?pi data?><![CDATA[<parameters/>]]><parameters>" + kKV +
         "</parameters></r>",
     "k", "v", kUntouched},

    // Which child of parameters.
    {"OtherNodesAmongChildren",
     Parameters("text<!-- <p name=\"k\" value=\"comment\"/> --><?pi name=\"k\" value=\"pi\"?>"
                "<![CDATA[<p name=\"k\" value=\"cdata\"/>]]>" +
                kKV),
     "k", "v", kUntouched},
    {"ChildElementNameDoesNotMatter", Parameters("<whatever name=\"k\" value=\"v\"/>"), "k", "v", kUntouched},
    {"FirstOfDuplicatesWins", Parameters("<p name=\"k\" value=\"first\"/><p name=\"k\" value=\"second\"/>"), "k",
     "first", kUntouched},
    {"NameDiffersInCase", Parameters("<p name=\"HttpPort\" value=\"8080\"/>"), "httpPort", "", kUntouched},
    {"NoSuchName", Parameters("<p name=\"a\" value=\"1\"/><p name=\"b\" value=\"2\"/>"), "k", "", kUntouched},
    {"EmptyParameters", Parameters(""), "k", "", kUntouched},
    {"NestedChildIsNotAParameter", Parameters("<group name=\"g\" value=\"1\">" + kKV + "</group>"), "k", "",
     kUntouched},
    {"MissingNameAfterTheMatch", Parameters(kKV + "<p value=\"x\"/><p/>"), "k", "v", kUntouched},
    {"NameWithBlanksIsNotTrimmed", Parameters("<p name=\" k\" value=\"x\"/><p name=\"k \" value=\"y\"/>"), "k", "",
     kUntouched},
    {"EmptyValue", Parameters("<p name=\"k\" value=\"\"/>"), "k", "", kUntouched},
    {"ValueIsNotTrimmed", Parameters("<p name=\"k\" value=\"  v \"/>"), "k", "  v ", kUntouched},
    {"EntitiesAreExpanded", Parameters("<p name=\"a&amp;b\" value=\"&lt;&#65;&gt;\"/>"), "a&b", "<A>", kUntouched},
    {"OtherAttributesIgnored", Parameters("<p value=\"v\" extra=\"1\" name=\"k\"/>"), "k", "v", kUntouched},
    {"EmptyNameMatchesEmpty", Parameters("<p name=\"\" value=\"blank\"/>"), "", "blank", kUntouched},
};
INSTANTIATE_TEST_SUITE_P(Files, Lookup, ::testing::ValuesIn(kLookups), tsm::test::CaseName());

struct BrokenParameterCase {
  const char* name;
  std::string xml;
  const char* parameter;
};

class BrokenParameter : public XmlConfig, public ::testing::WithParamInterface<BrokenParameterCase> {};

TEST_P(BrokenParameter, ThrowsAndLeavesErrorTextAlone) {
  WriteConfig(Folder, GetParam().xml);
  std::string errorText = kUntouched;
  EXPECT_THROW((void)GetConfigValue(GetParam().parameter, errorText), std::runtime_error);
  EXPECT_EQ(errorText, kUntouched);
}

const BrokenParameterCase kBrokenParameters[] = {
    {"MissingNameBeforeTheMatch", Parameters("<p value=\"x\"/>" + kKV), "k"},
    {"GroupWithoutNameBeforeTheMatch", Parameters("<group>" + kKV + "</group>" + kKV), "k"},
    {"MissingNameWithoutAnyMatch", Parameters("<p name=\"a\" value=\"1\"/><p value=\"x\"/>"), "k"},
    {"MissingValueOnTheMatch", Parameters("<p name=\"k\"/><p name=\"k\" value=\"v\"/>"), "k"},
    {"NameInAnotherNamespace", Parameters("<p xmlns:x=\"urn:a\" x:name=\"k\" value=\"v\"/>"), "k"},
    {"NameAsChildElementIsNoAttribute", Parameters("<p><name>k</name><value>v</value></p>"), "k"},
};
INSTANTIATE_TEST_SUITE_P(Files, BrokenParameter, ::testing::ValuesIn(kBrokenParameters), tsm::test::CaseName());

// The file is UTF-8; the program's strings are in the system's code page.
TEST_F(XmlConfig, NonAsciiTextArrivesInTheSystemCodePage) {
  WriteConfig(Folder, Parameters("<p name=\"caf\xC3\xA9\" value=\"na\xC3\xAFve\"/>"));
  const std::string name = tsm::AnsiFromWide(L"caf\u00e9");
  std::string errorText = kUntouched;
  EXPECT_EQ(GetConfigValue(name, errorText), tsm::AnsiFromWide(L"na\u00efve"));
  EXPECT_EQ(errorText, kUntouched);
}

// ---------------------------------------------------------------------------------------------------------------------
// Resolving the port

struct PortCase {
  const char* name;
  std::string children;
  std::optional<std::int32_t> Port;
  const char* notAPort = nullptr; // with no port: the parameter whose value is named as no port; null when none is
  const char* value = "";
};

class Port : public XmlConfig, public ::testing::WithParamInterface<PortCase> {};

TEST_P(Port, PrefersHttpPort2AndFallsBackToHttpPort) {
  WriteConfig(Folder, Parameters(GetParam().children));
  EXPECT_EQ(ResolveHttpPort(), GetParam().Port);
  if (GetParam().Port) return;
  const auto why = tsm::ReadHttpPort();
  ASSERT_TRUE(std::holds_alternative<tsm::NoPortReason>(why));
  const tsm::NoPortReason& reason = std::get<tsm::NoPortReason>(why);
  if (!GetParam().notAPort) {
    EXPECT_EQ(reason.Outcome, tsm::ProbeOutcome::NoPortParameter);
    return;
  }
  EXPECT_EQ(reason.Outcome, tsm::ProbeOutcome::NotAPort);
  EXPECT_EQ(reason.Parameter, GetParam().notAPort);
  EXPECT_EQ(reason.Reason, GetParam().value);
}

const PortCase kPorts[] = {
    {"Port2Only", P("httpPort2", "8080"), 8080},
    {"PortOnly", P("httpPort", "8080"), 8080},
    {"Port2Wins", P("httpPort", "80") + P("httpPort2", "8080"), 8080},
    {"Port2ZeroFallsBack", P("httpPort2", "0") + P("httpPort", "8080"), 8080},
    {"Port2NegativeFallsBack", P("httpPort2", "-5") + P("httpPort", "81"), 81},
    {"Port2EmptyFallsBack", P("httpPort2", "") + P("httpPort", "82"), 82},
    {"Port2LettersNoFallback", P("httpPort2", "abc"), std::nullopt, "httpPort2", "abc"},
    {"Port2LeadingSpaces", P("httpPort2", "  8080"), 8080},
    {"Port2TrailingSpaceFallsBack", P("httpPort2", "8080 ") + P("httpPort", "83"), 83},
    {"Port2Hex", P("httpPort2", "0x1F90"), 8080},
    {"Port2DollarHex", P("httpPort2", "$1f90"), 8080},
    {"Port2AllOnesIsNegative", P("httpPort2", "$FFFFFFFF") + P("httpPort", "84"), 84},
    {"Port2Highest", P("httpPort2", "65535"), 65535},
    {"Port2AboveHighestFallsBack", P("httpPort2", "70000") + P("httpPort", "85"), 85},
    {"BothAboveHighest", P("httpPort2", "70000") + P("httpPort", "65536"), std::nullopt, "httpPort", "65536"},
    {"BothInvalid", P("httpPort2", "x") + P("httpPort", "y"), std::nullopt, "httpPort", "y"},
    {"Neither", P("port", "8080"), std::nullopt},
    {"NamesDifferInCase", P("HttpPort2", "8080") + P("HTTPPORT", "80"), std::nullopt},
    // A tab written as a character reference survives and makes the text invalid; a literal one is turned into a
    // space by the parser's attribute-value normalisation, and a leading space is allowed.
    {"Port2TabReferenceFallsBack", P("httpPort2", "&#9;8080") + P("httpPort", "86"), 86},
    {"Port2LiteralTabIsABlank", P("httpPort2", "\t8080") + P("httpPort", "86"), 8080},
    {"Port2NewlineReferenceFallsBack", P("httpPort2", "8080&#10;") + P("httpPort", "87"), 87},
    {"NamelessChildAfterPort2", P("httpPort2", "8080") + "<p value=\"1\"/>", 8080},
};
INSTANTIATE_TEST_SUITE_P(Files, Port, ::testing::ValuesIn(kPorts), tsm::test::CaseName());

struct BrokenPortCase {
  const char* name;
  std::string children;
};

class BrokenPort : public XmlConfig, public ::testing::WithParamInterface<BrokenPortCase> {};

// A broken parameter ends the resolution at once, even when the fallback alone would have given a port.
TEST_P(BrokenPort, Throws) {
  WriteConfig(Folder, Parameters(GetParam().children));
  EXPECT_THROW((void)ResolveHttpPort(), std::runtime_error);
}

const BrokenPortCase kBrokenPorts[] = {
    {"NamelessChildFirst", "<p value=\"1\"/>" + P("httpPort2", "8080") + P("httpPort", "80")},
    {"Port2WithoutValue", "<p name=\"httpPort2\"/>" + P("httpPort", "80")},
    {"NamelessChildBetweenInvalidPort2AndPort", P("httpPort2", "x") + "<p value=\"1\"/>" + P("httpPort", "80")},
    {"PortWithoutValueAfterInvalidPort2", P("httpPort2", "0") + "<p name=\"httpPort\"/>"},
};
INSTANTIATE_TEST_SUITE_P(Files, BrokenPort, ::testing::ValuesIn(kBrokenPorts), tsm::test::CaseName());

// The configuration is another program's file: reading it must change nothing in or around it.
TEST_F(XmlConfig, ReadingLeavesTheFolderAsItWas) {
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- keep -->\r\n" +
                          Parameters(P("httpPort2", "x") + P("httpPort", "8080") + "<p value=\"1\"/>");
  WriteConfig(Folder, xml);
  Folder.Write("config\\other.txt", "other");
  // Let any write that did happen show up as a later time, even on a coarse clock.
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(Folder.PathOf(tsm::kConfigPath),
                      past); // Wine cannot set a folder's time; its entries are compared instead
  const auto before = StateOf(Folder.Path());

  for (int i = 0; i < 3; ++i) {
    std::string errorText;
    EXPECT_EQ(ResolveHttpPort(), 8080);
    EXPECT_EQ(GetConfigValue("httpPort2", errorText), "x");
    EXPECT_THROW((void)GetConfigValue("missing", errorText), std::runtime_error);
  }

  EXPECT_EQ(ReadFileBytes(Folder.PathOf(tsm::kConfigPath)), xml);
  EXPECT_EQ(StateOf(Folder.Path()), before);
}

// The path is relative to the working folder, not to the executable, and each lookup reads the file anew.
TEST_F(XmlConfig, EveryLookupReadsTheWorkingFolderAnew) {
  EXPECT_FALSE(ResolveHttpPort());
  WriteConfig(Folder, Parameters(P("httpPort", "8080")));
  EXPECT_EQ(ResolveHttpPort(), 8080);
  WriteConfig(Folder, Parameters(P("httpPort", "9090")));
  EXPECT_EQ(ResolveHttpPort(), 9090);

  const ScratchFolder elsewhere;
  const WorkingFolderScope inElsewhere(elsewhere.Path());
  EXPECT_FALSE(ResolveHttpPort());
}

// As the probe does it: a worker thread with its own COM, possibly several at once.
TEST_F(XmlConfig, ResolvesOnWorkerThreads) {
  WriteConfig(Folder, Parameters(P("httpPort2", "8080")));
  constexpr int kWorkers = 4;
  std::optional<std::int32_t> ports[kWorkers];
  std::thread workers[kWorkers];
  for (int i = 0; i < kWorkers; ++i) {
    workers[i] = std::thread([&port = ports[i]] {
      const TComInit com;
      try {
        for (int round = 0; round < 5; ++round) port = ResolveHttpPort();
      } catch (const std::exception&) {
        port = -1;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  for (const auto& port : ports) EXPECT_EQ(port, 8080);
}

// ---------------------------------------------------------------------------------------------------------------------
// COM plumbing

TEST(ComInit, BalancesOnlyWhatSucceeded) {
  std::thread([] {
    {
      const TComInit first;
      EXPECT_EQ(first.GetResult(), S_OK);
      {
        const TComInit second;
        EXPECT_EQ(second.GetResult(), S_FALSE);
        EXPECT_TRUE(second.Succeeded());
      }
      // The inner one undid only its own count: the apartment is still there.
      EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    }
    // Both undone: the thread may now choose another apartment.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) CoUninitialize();
  }).join();

  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      const TComInit refused;
      EXPECT_EQ(refused.GetResult(), RPC_E_CHANGED_MODE);
      EXPECT_FALSE(refused.Succeeded());
    }
    // A refused one must not have taken the thread's own initialisation with it.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  }).join();
}

TEST(ComInit, MovedFromOwnsNothing) {
  std::thread([] {
    {
      TComInit original;
      ASSERT_EQ(original.GetResult(), S_OK);
      const TComInit taken(std::move(original));
      EXPECT_TRUE(taken.Succeeded());
    }
    // Exactly one undo for the one initialisation.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) CoUninitialize();
  }).join();
}

// The interface ids the adapter binds by hand must be the ones the system uses.
TEST(MsxmlUuids, MatchTheSystemsIds) {
  EXPECT_EQ(__uuidof(IXMLDOMNode), IID_IXMLDOMNode);
  EXPECT_EQ(__uuidof(IXMLDOMDocument), IID_IXMLDOMDocument);
  EXPECT_EQ(__uuidof(IXMLDOMNodeList), IID_IXMLDOMNodeList);
  EXPECT_EQ(__uuidof(IXMLDOMElement), IID_IXMLDOMElement);
  EXPECT_EQ(__uuidof(IXMLDOMParseError), IID_IXMLDOMParseError);

  // No constant to compare with for this one: the document itself must answer to it.
  const TComInit com;
  for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    ComPtr<IXMLDOMDocument2> document;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument2),
                               reinterpret_cast<void**>(document.GetAddressOf())),
              S_OK);
  }
}

TEST(ComText, RoundTripsThroughTheCodePage) {
  EXPECT_EQ(tsm::WideFromAnsi(""), L"");
  EXPECT_EQ(tsm::AnsiFromWide(L""), "");
  EXPECT_EQ(tsm::WideFromAnsi("httpPort"), L"httpPort");
  EXPECT_EQ(tsm::AnsiFromWide(L"config\\AppConfig.xml"), "config\\AppConfig.xml");
  EXPECT_EQ(tsm::WideFromAnsi(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(tsm::AnsiFromWide(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  const tsm::TBstr bstr(std::wstring(L"x\0y", 3));
  EXPECT_EQ(bstr.View(), std::wstring_view(L"x\0y", 3));
  EXPECT_EQ(tsm::TBstr().View(), L"");
}

} // namespace
