// The stand-in server as the service "Torvale" under Wine's real service manager, registered by its own install
// script from a folder of its own.

#include "http/HttpClient.h"
#include "core/ServerContract.h"
#include "win32/ServiceHandle.h"
#include "win32/Socket.h"
#include "core/StopToken.h"
#include "core/TagText.h"
#include "support/StandInHarness.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tsm::test;

namespace {

[[nodiscard]] bool WaitUntilRegistered(const std::string& name, bool registered) {
  return WaitUntil([&] { return (QueryTestServiceState(name) != 0) == registered; }, kStartBoundMs);
}

struct ServiceFacts {
  DWORD type = 0;
  DWORD startType = 0;
  std::string binaryPath;
  DWORD win32ExitCode = 0;
  DWORD specificExitCode = 0;
};

[[nodiscard]] std::optional<ServiceFacts> QueryFacts(const std::string& name) {
  const tsm::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return std::nullopt;
  const tsm::ServiceHandle service(
      OpenServiceA(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
  if (!service) return std::nullopt;
  DWORD needed = 0;
  (void)QueryServiceConfigA(service.Get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + sizeof(QUERY_SERVICE_CONFIGA));
  auto* const config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) return std::nullopt;
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.Get(), &status)) return std::nullopt;
  return ServiceFacts{config->dwServiceType, config->dwStartType,
                      config->lpBinaryPathName ? config->lpBinaryPathName : "", status.dwWin32ExitCode,
                      status.dwServiceSpecificExitCode};
}

// A folder like the output folder: the server, the scripts and a configuration naming port.
void PrepareInstallFolder(const ScratchFolder& folder, const std::string& config) {
  for (const char* name : {"TorvaleServer.exe", tsm::kInstallScript, "UninstallService.bat"})
    (void)folder.CopyIn(BuiltFile(name));
  WriteConfig(folder, config);
}

TEST(StandInService, InstallScriptRegistersAServiceThatAnswersAndStops) {
  const tsm::WinsockSession winsock;
  const ServiceGuard guard(tsm::kServiceName);
  ASSERT_TRUE(guard.CleanBefore());
  const ScratchFolder install;
  const auto port = FreePort();
  ASSERT_GT(port, 0);
  PrepareInstallFolder(install, ConfigWithPort(port));

  ASSERT_TRUE(RunScript(install.PathOf(tsm::kInstallScript)));
  ASSERT_TRUE(WaitUntilRegistered(tsm::kServiceName, true));
  const auto facts = QueryFacts(tsm::kServiceName);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(facts->startType, static_cast<DWORD>(SERVICE_DEMAND_START));
  // Quoted, since the folder's name has a blank in it.
  EXPECT_EQ(facts->binaryPath, Quoted(install.PathOf("TorvaleServer.exe")));
  EXPECT_EQ(QueryTestServiceState(tsm::kServiceName), static_cast<DWORD>(SERVICE_STOPPED));

  // Started by the manager (in the system folder), it finds the configuration beside its executable.
  ASSERT_TRUE(StartTestService(tsm::kServiceName));
  ASSERT_TRUE(WaitUntilListening(port));
  std::string response;
  ASSERT_TRUE(tsm::HttpGet(tsm::kServerHost, tsm::kStatusPath, port, response));
  EXPECT_TRUE(ParseLocalTimestamp(tsm::ExtractTagText(response, tsm::kRunningSinceTag))) << response;

  // A valid stop request ends the service, which the manager then shows as stopped, without an error.
  ASSERT_TRUE(tsm::HttpGet(tsm::kServerHost, tsm::StopRequestPath(tsm::MakeStopToken(111)), port, response));
  EXPECT_EQ(SplitAnswer(response).statusLine, "HTTP/1.1 200 OK");
  EXPECT_TRUE(WaitForServiceState(tsm::kServiceName, SERVICE_STOPPED));
  EXPECT_TRUE(WaitUntil([&] { return !AcceptsConnections(port); }, kStartBoundMs));
  EXPECT_EQ(QueryFacts(tsm::kServiceName)->win32ExitCode, static_cast<DWORD>(NO_ERROR));

  // Started again and stopped by the manager this time.
  ASSERT_TRUE(StartTestService(tsm::kServiceName));
  ASSERT_TRUE(WaitUntilListening(port));
  EXPECT_TRUE(StopTestService(tsm::kServiceName));
  EXPECT_TRUE(WaitUntil([&] { return !AcceptsConnections(port); }, kStartBoundMs));
  EXPECT_EQ(QueryFacts(tsm::kServiceName)->win32ExitCode, static_cast<DWORD>(NO_ERROR));

  // The uninstall script removes it.
  ASSERT_TRUE(RunScript(install.PathOf("UninstallService.bat")));
  EXPECT_TRUE(WaitUntilRegistered(tsm::kServiceName, false));
}

TEST(StandInService, WithoutAPortTheServiceStopsAndSaysWhy) {
  const ServiceGuard guard(tsm::kServiceName);
  ASSERT_TRUE(guard.CleanBefore());
  const ScratchFolder install;
  PrepareInstallFolder(install, ConfigWithPort("none"));
  ASSERT_TRUE(CreateTestService(tsm::kServiceName, Quoted(install.PathOf("TorvaleServer.exe"))));

  ASSERT_TRUE(RequestTestServiceStart(tsm::kServiceName));
  EXPECT_TRUE(WaitForServiceState(tsm::kServiceName, SERVICE_STOPPED));
  const auto facts = QueryFacts(tsm::kServiceName);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->win32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
  EXPECT_NE(facts->specificExitCode, 0u);
}

} // namespace
