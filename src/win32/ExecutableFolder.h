// Where the running program's executable lies: the panel finds its scripts there whatever folder it was started
// in, and the stand-in server runs there as a service.
#pragma once

#include <windows.h>

#include <string>

namespace tsm {

// The folder with its trailing separator, so that a file name can be appended; empty if the system cannot say.
[[nodiscard]] inline std::string ExecutableFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      path.erase(path.find_last_of("\\/") + 1);
      return path;
    }
    path.resize(path.size() * 2); // a long path: the name was cut short
  }
}

} // namespace tsm
