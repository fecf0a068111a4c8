#include "ClientProcess.h"

#include "os/processes.h"

namespace updater {

bool TerminateClientProcess(const std::string& ClientExePath) {
  // Only that first process is tried, whether it can be ended or not.
  const auto pid = os::FindOwnProcessRunningFile(ClientExePath);
  return pid && os::TerminateProcess(*pid, 0);
}

}  // namespace updater
