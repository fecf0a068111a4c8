#include "ClientProcess.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "os/processes.h"
#include "os/shell.h"

namespace updater {

bool TerminateClientProcess(const std::string& ClientExePath) {
  // Only that first process is tried, whether it can be ended or not.
  const auto pid = os::FindOwnProcessRunningFile(ClientExePath);
  return pid && os::TerminateProcess(*pid, 0);
}

std::string StartClientProcess(const std::string& ClientExePath) {
  const int error = os::StartProgram(ClientExePath, {});
  if (error == 0) return {};
  const std::string file = "le fichier " + ClientExePath.substr(ClientExePath.find_last_of('/') + 1);
  // The two reasons a user can act on are told in words; any other is the system's own.
  struct stat st {};
  const bool found = ::stat(ClientExePath.c_str(), &st) == 0;
  if (error == ENOENT && !found) return file + " est introuvable";
  if (error == EACCES && found && S_ISREG(st.st_mode) && (st.st_mode & 0111) == 0)
    return file + " n'est pas exécutable";
  return std::strerror(error);
}

}  // namespace updater
