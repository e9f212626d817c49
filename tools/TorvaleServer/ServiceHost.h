// Running the stand-in server as the Windows service.
#pragma once

#include <windows.h>

namespace tsm::standin {

// The service's main function, as the service control dispatcher calls it. It moves to the executable's folder
// (services start in the system folder) so that config\AppConfig.xml is found next to the executable, reports
// RUNNING once the port is listening, and STOPPED when the service manager stops it or a valid stop request
// arrives; a failure to start is reported as STOPPED with the server's exit code as the service-specific code.
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

} // namespace tsm::standin
