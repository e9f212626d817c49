// The small things every Windows test shares: folders, ports, Wine, scripts and processes.
#include "support/TestSupport.h"

#include "win32/ExecutableFolder.h"
#include "win32/Socket.h"
#include "win32/WideText.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tsm::test {
namespace {

// A process that has only just ended may hold its executable a moment longer; a scratch folder waits that long.
constexpr int kRemoveAttempts = 50;
constexpr DWORD kRemoveRetryMs = 100;

// A path as the system spells it in full: GetTempPath may hand out short names, an image path does not.
std::string LongPath(const std::string& path) {
  char full[MAX_PATH * 2] = {};
  const DWORD n = GetLongPathNameA(path.c_str(), full, sizeof full);
  return (n == 0 || n >= sizeof full) ? path : std::string(full, n);
}

bool SameText(const char* a, std::size_t aLength, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, static_cast<int>(aLength), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The running processes the sweep covers, opened so that they can be ended and waited for.
std::vector<UniqueHandle> ProcessesOf(const std::string& path, SweepBy by) {
  std::vector<UniqueHandle> found;
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return found;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process.Valid()) continue;
    char image[MAX_PATH * 2] = {};
    DWORD size = sizeof image;
    if (!QueryFullProcessImageNameA(process.Get(), 0, image, &size)) continue;
    const std::string full = LongPath(std::string(image, size));
    const bool covered = by == SweepBy::Image ? SameText(full.data(), full.size(), path)
                                              : full.size() > path.size() && SameText(full.data(), path.size(), path);
    if (covered && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) found.push_back(std::move(process));
  }
  return found;
}

} // namespace

std::string BuiltFile(std::string_view name) {
  std::string folder = ExecutableFolder();
  if (folder.empty()) throw std::runtime_error("cannot read the test executable's path");
  return folder.append(name);
}

// ---- ScratchFolder ----------------------------------------------------------------------------------------------

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH] = {};
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) throw std::runtime_error("no temporary folder");
  // Process id plus a counter: unique among parallel test processes and within one.
  static LONG counter = 0;
  const LONG serial = InterlockedIncrement(&counter);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = std::string(temp) + "tsm scratch " + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(serial) + "-" + std::to_string(attempt);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = std::move(candidate);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot create a scratch folder under " + std::string(temp));
}

ScratchFolder::ScratchFolder(ScratchFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

namespace {

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

// Removes a folder and all it holds, looking at each entry once; one that has gone meanwhile counts as removed.
// True when the folder is gone. Not std::filesystem::remove_all: this runtime's calls the removal of an entry that
// vanished after it was listed again and again, for ever (seen when a script the panel ran was still closing its
// file as the test ended).
bool RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW entry{};
  const HANDLE first = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (const FindHandle listing(first == INVALID_HANDLE_VALUE ? nullptr : first); listing) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      const DWORD kind = entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
      if (kind == FILE_ATTRIBUTE_DIRECTORY) {
        (void)RemoveFolder(path);
      } else if (kind & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str()); // a link to a folder: the link goes, not what it points at
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(listing.get(), &entry));
  }
  if (RemoveDirectoryW(folder.c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  const std::wstring folder = WideFromUtf8(path_);
  for (int attempt = 0; attempt < kRemoveAttempts && !RemoveFolder(folder); ++attempt) Sleep(kRemoveRetryMs);
}

std::string ScratchFolder::PathOf(const std::string& relative) const { return path_ + "\\" + relative; }

void ScratchFolder::Write(const std::string& relative, const std::string& bytes) const {
  const std::filesystem::path target(WideFromUtf8(PathOf(relative)));
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + PathOf(relative));
}

std::string ScratchFolder::CopyIn(const std::string& source, const std::string& relative) const {
  const std::string name = relative.empty() ? source.substr(source.find_last_of("\\/") + 1) : relative;
  const std::string target = PathOf(name);
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(WideFromUtf8(target)).parent_path(), error);
  // Not std::filesystem::copy_file: this runtime's overwrite_existing fails with "File exists" when there is one.
  if (!CopyFileW(WideFromUtf8(source).c_str(), WideFromUtf8(target).c_str(), FALSE))
    throw std::runtime_error("cannot copy " + source + " to " + target + " (error " + std::to_string(GetLastError()) +
                             ")");
  return target;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FolderState StateOf(const std::filesystem::path& root) {
  FolderState state;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const bool file = entry.is_regular_file();
    state[std::filesystem::relative(entry.path(), root).string()] = {
        file ? entry.file_size() : 0, entry.last_write_time(), file ? ReadFileBytes(entry.path()) : std::string()};
  }
  return state;
}

// ---- WorkingFolderScope ---------------------------------------------------------------------------------------

WorkingFolderScope::WorkingFolderScope(const std::filesystem::path& folder) {
  previous_.resize(GetCurrentDirectoryA(0, nullptr));
  const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(previous_.size()), previous_.data());
  if (length == 0 || length >= previous_.size()) throw std::runtime_error("cannot read the working folder");
  previous_.resize(length);
  if (!SetCurrentDirectoryA(folder.string().c_str()))
    throw std::runtime_error("cannot enter " + folder.string() + " (error " + std::to_string(GetLastError()) + ")");
}

WorkingFolderScope::~WorkingFolderScope() { SetCurrentDirectoryA(previous_.c_str()); }

// ---- Ports ------------------------------------------------------------------------------------------------------

namespace {

sockaddr_in LoopbackAddress(std::int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  return address;
}

} // namespace

LoopbackSocket BindLoopback() {
  // The ports handed out lie below the range the system draws the local ports of outgoing connections from (32768
  // up on Linux, under Wine, and 49152 up on Windows). A port drawn from there and released could be taken by any of
  // the thousands of connections the probe tests make before the program it was meant for binds it. Each process
  // walks the range from a start of its own, so that two tests rarely try the same port.
  constexpr std::uint32_t kFirst = 20000, kCount = 12000, kStep = 7919; // a prime, so the walk visits every port
  static std::atomic<std::uint32_t> walk{GetCurrentProcessId() * 2654435761u ^
                                         static_cast<std::uint32_t>(GetTickCount64())};
  for (std::uint32_t tried = 0; tried < kCount; ++tried) {
    LoopbackSocket bound{UniqueSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))};
    if (!bound.socket) throw std::runtime_error("no socket for a loopback port");
    bound.port = static_cast<std::int32_t>(kFirst + walk.fetch_add(kStep) % kCount);
    const sockaddr_in address = LoopbackAddress(bound.port);
    if (bind(bound.socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return bound;
  }
  throw std::runtime_error("cannot bind a loopback socket");
}

std::int32_t FreePort() {
  const WinsockSession winsock;
  if (!winsock.Started()) throw std::runtime_error("WSAStartup failed");
  return BindLoopback().port;
}

bool ConnectLoopback(SOCKET s, std::int32_t port) {
  const sockaddr_in address = LoopbackAddress(port);
  return connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool AcceptsConnections(std::int32_t port) {
  const WinsockSession winsock;
  const UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  return s.Valid() && ConnectLoopback(s.Get(), port);
}

std::string ConfigXml(const std::vector<ConfigParameter>& parameters) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <server>\r\n"
                    "    <parameters>\r\n";
  for (const ConfigParameter& p : parameters) {
    xml += "      <parameter";
    if (p.name) xml += " name=\"" + *p.name + "\"";
    if (p.value) xml += " value=\"" + *p.value + "\"";
    xml += "/>\r\n";
  }
  xml += "    </parameters>\r\n  </server>\r\n</configuration>\r\n";
  return xml;
}

std::string ConfigWithPort(std::int32_t port) { return ConfigWithPort(std::to_string(port)); }

std::string ConfigWithPort(std::string_view portText) { return ConfigXml({{"httpPort", std::string(portText)}}); }

void WriteConfig(const ScratchFolder& folder, const std::string& xml) { folder.Write("config\\AppConfig.xml", xml); }

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool RunScript(const std::string& path, DWORD timeoutMs) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = path.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info)) return false;
  const UniqueHandle process(info.hProcess);
  // No process to wait for: the callers poll for the script's effect.
  return !process.Valid() || WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

// ---- ChildProcess -----------------------------------------------------------------------------------------------

ChildProcess::ChildProcess(const std::filesystem::path& exe, const std::filesystem::path& workingFolder,
                           DWORD creationFlags) {
  constexpr int kAttempts = 3;
  constexpr DWORD kPauseMs = 500;
  const std::wstring image = exe.wstring();
  const std::wstring folder = workingFolder.wstring();
  for (int attempt = 1;; ++attempt) {
    std::wstring commandLine = L"\"" + image + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(image.c_str(), commandLine.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
      process_.Reset(info.hProcess);
      const UniqueHandle thread(info.hThread);
      id_ = info.dwProcessId;
      startError_ = 0;
      return;
    }
    startError_ = GetLastError();
    if (startError_ != ERROR_INTERNAL_ERROR || attempt == kAttempts) return;
    std::cerr << "[ launcher ] starting " << exe.string() << " failed with error " << startError_ << " (attempt "
              << attempt << " of " << kAttempts << "); starting it again\n";
    Sleep(kPauseMs);
  }
}

ChildProcess::~ChildProcess() {
  if (!Running()) return;
  TerminateProcess(process_.Get(), 1);
  WaitForSingleObject(process_.Get(), kEndBoundMs);
}

bool ChildProcess::Running() const {
  return process_.Valid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const {
  if (!process_.Valid() || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return std::nullopt;
  return code;
}

// ---- ProcessSweep -----------------------------------------------------------------------------------------------

ProcessSweep::ProcessSweep(const std::filesystem::path& path, SweepBy by)
    : path_(LongPath(std::filesystem::absolute(path).string())), by_(by) {
  if (by_ == SweepBy::Folder && !path_.empty() && path_.back() != '\\') path_.push_back('\\');
}

std::size_t ProcessSweep::Count() const { return ProcessesOf(path_, by_).size(); }

std::size_t ProcessSweep::EndAll() const {
  const std::vector<UniqueHandle> processes = ProcessesOf(path_, by_);
  for (const UniqueHandle& p : processes) TerminateProcess(p.Get(), 1);
  for (const UniqueHandle& p : processes) WaitForSingleObject(p.Get(), kEndBoundMs);
  return processes.size();
}

} // namespace tsm::test
