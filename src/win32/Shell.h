// Where the panel finds the server's scripts, and how it starts them.
#pragma once

#include <windows.h>

#include <string>

namespace tsm {

// Paths are UTF-8 (see ExecutableFolder.h); both calls hand them to the system's wide functions.
[[nodiscard]] bool FileExists(const std::string& path);

// Has the shell open a script with its window hidden. No working folder is given, so the script inherits the
// panel's, where the server's configuration lives. ERROR_SUCCESS when the shell started it, else the system's error
// code for why not. The shell shows no box of its own: the caller says what went wrong.
[[nodiscard]] DWORD OpenScriptHidden(HWND owner, const std::string& path);

} // namespace tsm
