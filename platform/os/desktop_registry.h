#pragma once
// The real registry of this system: the mail-program keys answered from the desktop's default
// "mailto:" handler (see registry.h for the keys and their values).
//
// The handler is the first usable entry the mimeapps.list files of the XDG folders name as
// default, in their order (the desktop's own "<desktop>-mimeapps.list" before each plain
// one, then the older defaults.list); when they name none, what
// `xdg-mime query default x-scheme-handler/mailto` answers. Its .desktop file is looked up in
// the applications folders of $XDG_DATA_HOME and $XDG_DATA_DIRS. An entry is usable when it
// is not Hidden and has an Exec line. The environment is read at each query.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/registry.h"

namespace os {

// What the registry makes of a desktop entry.
struct MailHandler {
  std::string id;                 // desktop id without ".desktop"
  std::string program;            // the Exec program, with its full path when found in PATH
  std::vector<std::string> args;  // the Exec arguments, field codes taken out
  std::size_t urlIndex = 0;       // where the URL field code stood among args (args.size(): none)
};

class DesktopRegistry final : public Registry {
 public:
  // `xdgMime` is the program asked when the lists name nothing (a name looked up in PATH, or
  // a path); empty: never asked.
  explicit DesktopRegistry(std::string xdgMime = "xdg-mime");
  std::optional<std::string> ReadDefaultValue(RegistryRoot root, std::string_view key) override;

  // The desktop's default mailto handler, when there is one with a usable Exec line.
  std::optional<MailHandler> DefaultMailHandler() const;

 private:
  std::string xdgMime_;
};

// The arguments of a .desktop Exec value (quoting and escapes undone, field codes kept).
std::vector<std::string> SplitDesktopExec(std::string_view exec);

}  // namespace os
