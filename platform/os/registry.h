#pragma once
// Read-only registry: the default value of a key. On this system the keys a program asks
// for are answered from the desktop's own settings; the real registry knows these keys:
//
//   ClassesRoot  "\mailto\shell\open\command"
//       the command of the desktop's default "mailto:" handler (x-scheme-handler/mailto):
//       "\"<program path>\" <arguments> \"%1\"" built from its .desktop Exec line.
//   LocalMachine "\SOFTWARE\Clients\Mail"
//       the name of the default mail program: the desktop id of that handler, without
//       ".desktop" (for instance "thunderbird").
//   LocalMachine "\SOFTWARE\Clients\Mail\<name>\shell\open\command"
//       the program to open for it: its full path when its Exec line holds nothing else
//       than the program and field codes, else "\"<path>\" <arguments>".
//
// Key names compare without regard to case; the leading "\" may be left out. Any other key,
// or no default handler, gives no value.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "os/service.h"

namespace os {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

// Raised when a value exists but is not a string (the real registry never does: fakes may).
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // The default value of the key, or nothing when the key or its value cannot be read.
  virtual std::optional<std::string> ReadDefaultValue(RegistryRoot root, std::string_view key) = 0;
};

template <>
Registry& RealService<Registry>();

// Shortcut for Use<Registry>().ReadDefaultValue(...).
std::optional<std::string> ReadRegistryDefault(RegistryRoot root, std::string_view key);

}  // namespace os
