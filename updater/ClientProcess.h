#pragma once
// Ending the running client before its files are replaced.
#include <string>

namespace updater {

// Ends the client that is about to be replaced: the first process of the process list that
// runs the very file at `ClientExePath` (the client in the updater's own folder) under the
// user who runs the updater. Clients of other folders, other files of the same name and
// other users' processes are left alone. The process is ended with exit code 0 and without
// waiting for it to go; its own closing code does not run. True when it was terminated.
bool TerminateClientProcess(const std::string& ClientExePath);

}  // namespace updater
