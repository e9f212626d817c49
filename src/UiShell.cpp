#include "UiShell.h"

#include <shellapi.h>

#include <vector>

namespace tsm::ui {

std::string ExecutableFolder() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      std::string folder(path.data(), length);
      folder.erase(folder.find_last_of("\\/") + 1);
      return folder;
    }
    path.resize(path.size() * 2); // a long path: the name was cut short
  }
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool OpenScriptHidden(HWND owner, const std::string& path) {
  const auto result = ::ShellExecuteA(owner, "open", path.c_str(), nullptr, nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace tsm::ui
