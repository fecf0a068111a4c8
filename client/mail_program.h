#pragma once
// The user's own mail program, found from the three registry texts of the mail client: the
// command of the default mail client, otherwise the command registered for "mailto:" links,
// with its %NAME% variables expanded. The decision is text work alone; the main window's
// Button6Click reads the registry and starts the result.
#include <functional>
#include <string>

namespace client {

// The value of the environment variable, or empty when it is not set (or the name is empty).
std::string LireVarEnv(const std::string& name);

struct MailProgramCommand {
  std::string file;        // empty: nothing to start
  std::string parameters;
  bool operator==(const MailProgramCommand&) const = default;
};

using Environment = std::function<std::string(const std::string& name)>;

// From the "mailto:" command and the default client's command (the registry's texts, empty
// when missing). A mailto command whose quoted program path does not begin with a variable
// opens that path itself, with the arguments that follow it.
MailProgramCommand MailProgram(const std::string& mailtoCommand, const std::string& clientCommand,
                               const Environment& environment = LireVarEnv);

}  // namespace client
