#pragma once
// Ending the running client before its files are replaced, and starting it again after.
#include <string>

namespace updater {

// Ends the client that is about to be replaced: the first process of the process list that
// runs the very file at `ClientExePath` (the client in the updater's own folder) under the
// user who runs the updater. Clients of other folders, other files of the same name and
// other users' processes are left alone. The process is ended with exit code 0 and without
// waiting for it to go; its own closing code does not run. True when it was terminated.
bool TerminateClientProcess(const std::string& ClientExePath);

// Starts the client at `ClientExePath` again, with no parameters, as the shell starts a
// program, but only as a program: a file that cannot run is never handed to the desktop's
// opener, which would show it instead of starting it. Empty when the client was started,
// else why it could not be, in words for the user ("le fichier OrvalisP.exe n'est pas
// exécutable", or the system's own reason).
std::string StartClientProcess(const std::string& ClientExePath);

}  // namespace updater
