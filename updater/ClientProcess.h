#pragma once
// Ending the running client before its files are replaced.
#include <string>

namespace updater {

// Ends the first process of the process list whose executable's file name equals `ExeName`
// without regard to letter case, with exit code 0 and without waiting for it to go; its own
// closing code does not run. Only that first match is tried. True when it was terminated.
bool TerminateProcessByExeName(const std::string& ExeName);

}  // namespace updater
