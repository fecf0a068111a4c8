// The buttons and the menu item that start the user's mail program.
#include "mail_program.h"
#include "main_window.h"
#include "os/registry.h"
#include "os/shell.h"

namespace client {

void TForm1::Button6Click(forms::TObject*) {
  // 1. The three registry texts, the client command last (its key holds the client's name).
  const auto read = [](os::RegistryRoot root, const std::string& key) {
    return os::ReadRegistryDefault(root, key).value_or("");
  };
  const std::string mailto = read(os::RegistryRoot::ClassesRoot, "\\mailto\\shell\\open\\command");
  const std::string name = read(os::RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail");
  const std::string clientCommand =
      read(os::RegistryRoot::LocalMachine, "\\SOFTWARE\\Clients\\Mail\\" + name + "\\shell\\open\\command");

  // 2. to 4. The program, and the start.
  MailProgramCommand command = MailProgram(mailto, clientCommand);
  if (command.file.empty()) return;  // nothing to start
  // A command line with its program in quotes ("\"/usr/bin/prog\" -args") starts that program
  // with the rest as its parameters.
  if (command.file.front() == '"') {
    const auto close = command.file.find('"', 1);
    const std::string program = command.file.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    std::string rest = close == std::string::npos ? std::string() : command.file.substr(close + 1);
    if (!command.parameters.empty()) rest += " " + command.parameters;
    command = {program, rest};
  }
  os::ShellExecute("OPEN", command.file, command.parameters);
}

}  // namespace client
