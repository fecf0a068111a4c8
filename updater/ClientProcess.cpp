#include "ClientProcess.h"

#include "os/processes.h"

namespace updater {

bool TerminateProcessByExeName(const std::string& ExeName) {
  // The walk stops at the first equal name, whether it can be ended or not.
  const auto pid = os::FindProcessByExeName(ExeName, os::NameCase::Ignore);
  return pid && os::TerminateProcess(*pid, 0);
}

}  // namespace updater
