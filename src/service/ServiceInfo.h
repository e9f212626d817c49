// Asks the service control manager for one service's state, starts it and stops it, and turns the manager's
// refusals into the fixed sentences the window shows.
#pragma once

#include "win32/ServiceHandle.h"

#include <cstdint>
#include <string>

namespace tsm {

// Lives for one call: create, call once, read the result, discard. Nothing here throws; a failure is the return
// value plus ErrorCode (the system's code) and ErrorText (empty when the failure has no sentence of its own).
class TServiceInfo {
public:
  TServiceInfo();
  TServiceInfo(const TServiceInfo&) = delete;
  TServiceInfo& operator=(const TServiceInfo&) = delete;

  // The service's dwCurrentState (1 stopped .. 7 paused), or 0 when none was obtained: not registered, not
  // readable, or no manager connection.
  [[nodiscard]] int GetState(const std::string& name);
  // True when the manager accepted the start request. A running service is refused without asking the manager.
  [[nodiscard]] bool Start(const std::string& name);
  // True when the manager accepted the stop control. Only a running service is asked; any other state is refused
  // quietly, leaving ErrorCode and ErrorText as they were.
  [[nodiscard]] bool Stop(const std::string& name);

  std::int32_t ErrorCode = 0;  // meaningful only after a failure has set it
  std::string ErrorText;       // empty until a failure with a sentence of its own
  ServiceHandle ManagerHandle; // local manager, default database; null if the connection failed

private:
  // The service opened for `access`, its status read into `status`; null, with ErrorCode set, when either failed.
  [[nodiscard]] ServiceHandle OpenQueried(const std::string& name, DWORD access, SERVICE_STATUS& status);
};

} // namespace tsm
