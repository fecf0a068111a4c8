#pragma once
// The shell's "open": what ShellExecute does with a verb of "open" (in any case, or empty).
//
//  - A URL ("http://...", "mailto:...", any "scheme:" of two letters or more) goes to the
//    desktop's opener, `xdg-open`, found in PATH.
//  - An executable file is started directly, with no shell in between. A name without "/" is
//    looked up in PATH, then in `directory` (when given) or else the current folder; a relative
//    path is taken from `directory` (when given) or the current folder. `parameters` is split into arguments the way a Windows command line is: blanks
//    separate, double quotes group, \" is a quote. No parameters, no arguments.
//  - Any other existing file or folder goes to `xdg-open` too.
//
// Started programs are detached: a session of their own, not children of the caller (no
// zombie is ever left), stdin from /dev/null, no descriptor of the caller other than stdout
// and stderr, default signal handling. `directory`, when not empty, is their working folder.
// The call does not wait for the program; it returns true when the program (or the opener)
// was started, false when there is nothing to start or it could not be started.
#include <string>
#include <string_view>
#include <vector>

#include "os/service.h"

namespace os {

class Shell {
 public:
  virtual ~Shell() = default;
  virtual bool ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                            std::string_view directory) = 0;
};

template <>
Shell& RealService<Shell>();

// Shortcut for Use<Shell>().ShellExecute(...).
bool ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters = {},
                  std::string_view directory = {});

// Splits a command line into arguments, as ShellExecute does with its parameters.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The executable file of that name in the folders of PATH, or empty (also for a name with "/").
std::string FindInPath(std::string_view name);

// Starts `program` (a path, used as it is) with `args` detached, as described above.
// True when it was executed.
bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                   std::string_view directory = {});

// Starts `program` as StartDetached does, and only as a program: a file that cannot run is
// never handed to the desktop's opener. 0 when it was executed, else the system's error number
// (errno) of why not, as the execution itself gives it: ENOENT when there is no such file
// (also a link that leads nowhere), EACCES when it lacks the execute permission or is no
// regular file, ENOEXEC when it is no program the system can run; or the error of the working
// folder's change or of the start itself.
int StartProgram(const std::string& program, const std::vector<std::string>& args,
                 std::string_view directory = {});

}  // namespace os
