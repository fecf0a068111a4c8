#include "os/desktop_registry.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/ascii.h"
#include "os/environment.h"
#include "os/shell.h"

extern char** environ;

namespace os {
namespace {

constexpr std::string_view kMailtoType = "x-scheme-handler/mailto";
constexpr std::size_t kMaxOutput = 64 * 1024;
constexpr std::size_t kMaxFileSize = 1024 * 1024;
constexpr int kQueryTimeoutMs = 3000;

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(first, last - first + 1));
}

std::vector<std::string> SplitList(std::string_view s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= s.size()) {
    std::size_t end = s.find(sep, start);
    if (end == std::string_view::npos) end = s.size();
    if (end > start) parts.emplace_back(s.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The standard output of a short-lived program, or nothing when it fails or takes too long.
std::optional<std::string> Capture(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> store{program};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return std::nullopt;
  }
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQueryTimeoutMs);
  bool timedOut = false;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    char buf[4096];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (text.size() < kMaxOutput) text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}

// The lines of a small text file (nothing for a missing, odd or huge one).
std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxFileSize)
    return lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The value of `key` in `group` of a desktop-style key file.
std::optional<std::string> KeyFileValue(const std::vector<std::string>& lines, std::string_view group,
                                        std::string_view key) {
  bool inGroup = false;
  for (const std::string& raw : lines) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == "[" + std::string(group) + "]";
      continue;
    }
    if (!inGroup) continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (Trim(std::string_view(line).substr(0, eq)) == key) return Trim(std::string_view(line).substr(eq + 1));
  }
  return std::nullopt;
}

std::string HomeFolder() { return GetEnvironmentVariable("HOME").value_or(""); }

std::string EnvOr(const char* name, const std::string& fallback) {
  auto value = GetEnvironmentVariable(name);
  return value && !value->empty() ? *value : fallback;
}

std::vector<std::string> DataFolders() {
  std::vector<std::string> folders{EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share")};
  for (auto& d : SplitList(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':')) folders.push_back(d);
  return folders;
}

std::vector<std::string> ConfigFolders() {
  std::vector<std::string> folders{EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config")};
  for (auto& d : SplitList(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"), ':')) folders.push_back(d);
  return folders;
}

// The mimeapps.list files in the order in which they count.
std::vector<std::string> MimeAppsFiles() {
  std::vector<std::string> desktops;
  for (auto& d : SplitList(GetEnvironmentVariable("XDG_CURRENT_DESKTOP").value_or(""), ':'))
    desktops.push_back(ascii::ToLower(d));
  std::vector<std::string> files;
  auto add = [&](const std::string& folder, bool legacy) {
    for (auto& d : desktops) files.push_back(folder + "/" + d + "-mimeapps.list");
    files.push_back(folder + "/mimeapps.list");
    if (legacy) files.push_back(folder + "/defaults.list");
  };
  for (auto& f : ConfigFolders()) add(f, false);
  for (auto& f : DataFolders()) add(f + "/applications", true);
  return files;
}

bool ValidDesktopId(std::string_view id) {
  return id.size() > 8 && id.substr(id.size() - 8) == ".desktop" && id.find('/') == std::string_view::npos &&
         id.find("..") == std::string_view::npos;
}

std::optional<std::vector<std::string>> FindDesktopFile(const std::string& id) {
  if (!ValidDesktopId(id)) return std::nullopt;
  std::vector<std::string> names{id};
  if (auto dash = id.find('-'); dash != std::string::npos) names.push_back(id.substr(0, dash) + "/" + id.substr(dash + 1));
  for (auto& folder : DataFolders()) {
    for (auto& name : names) {
      auto lines = ReadLines(folder + "/applications/" + name);
      if (!lines.empty()) return lines;
    }
  }
  return std::nullopt;
}

bool IsFieldCode(std::string_view arg) { return arg.size() == 2 && arg[0] == '%' && arg[1] != '%'; }

bool IsUrlFieldCode(std::string_view arg) { return arg == "%u" || arg == "%U" || arg == "%f" || arg == "%F"; }

std::optional<MailHandler> HandlerFromDesktopFile(const std::string& id) {
  auto lines = FindDesktopFile(id);
  if (!lines) return std::nullopt;
  if (KeyFileValue(*lines, "Desktop Entry", "Hidden").value_or("") == "true") return std::nullopt;
  auto exec = KeyFileValue(*lines, "Desktop Entry", "Exec");
  if (!exec) return std::nullopt;
  std::vector<std::string> parts = SplitDesktopExec(*exec);
  if (parts.empty() || IsFieldCode(parts[0])) return std::nullopt;
  MailHandler handler;
  handler.id = id.substr(0, id.size() - 8);
  handler.program = parts[0];
  if (std::string found = FindInPath(parts[0]); !found.empty()) handler.program = found;
  handler.urlIndex = std::string::npos;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (IsFieldCode(parts[i])) {
      if (IsUrlFieldCode(parts[i]) && handler.urlIndex == std::string::npos) handler.urlIndex = handler.args.size();
      continue;
    }
    // A field code inside an argument goes; "%%" is a percent sign.
    std::string arg;
    for (std::size_t k = 0; k < parts[i].size(); ++k) {
      if (parts[i][k] == '%' && k + 1 < parts[i].size()) {
        if (parts[i][k + 1] == '%') arg += '%';
        ++k;
      } else {
        arg += parts[i][k];
      }
    }
    handler.args.push_back(arg);
  }
  if (handler.urlIndex == std::string::npos) handler.urlIndex = handler.args.size();
  return handler;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string ArgumentText(const std::string& arg) {
  return arg.find_first_of(" \t\"") == std::string::npos && !arg.empty() ? arg : Quoted(arg);
}

std::string NormalKey(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return ascii::ToLower(key);
}

}  // namespace

std::vector<std::string> SplitDesktopExec(std::string_view exec) {
  // First the escapes of any desktop-file string, then the quoting of Exec.
  std::string value;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size()) {
      const char c = exec[++i];
      switch (c) {
        case 's': value += ' '; break;
        case 'n': value += '\n'; break;
        case 't': value += '\t'; break;
        case 'r': value += '\r'; break;
        case '\\': value += '\\'; break;
        default: value += '\\'; value += c; break;
      }
    } else {
      value += exec[i];
    }
  }
  std::vector<std::string> args;
  std::string arg;
  bool inArg = false;
  bool quoted = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted) {
      if (c == '\\' && i + 1 < value.size()) {
        arg += value[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        arg += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inArg) args.push_back(arg);
      arg.clear();
      inArg = false;
    } else if (c == '"') {
      quoted = true;
      inArg = true;
    } else if (c == '\\' && i + 1 < value.size()) {
      arg += value[++i];
      inArg = true;
    } else {
      arg += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(arg);
  return args;
}

DesktopRegistry::DesktopRegistry(std::string xdgMime) : xdgMime_(std::move(xdgMime)) {}

std::optional<MailHandler> DesktopRegistry::DefaultMailHandler() const {
  // The defaults the user and the system wrote come first.
  for (const std::string& file : MimeAppsFiles()) {
    auto lines = ReadLines(file);
    if (lines.empty()) continue;
    auto list = KeyFileValue(lines, "Default Applications", kMailtoType);
    if (!list) continue;
    for (const std::string& id : SplitList(*list, ';'))
      if (auto handler = HandlerFromDesktopFile(Trim(id))) return handler;
  }
  // Then the desktop's own tool, which also knows handlers that are merely installed.
  if (!xdgMime_.empty()) {
    const std::string program = xdgMime_.find('/') == std::string::npos ? FindInPath(xdgMime_) : xdgMime_;
    if (!program.empty()) {
      if (auto answer = Capture(program, {"query", "default", std::string(kMailtoType)})) {
        const std::string id = Trim(answer->substr(0, answer->find('\n')));
        if (auto handler = HandlerFromDesktopFile(id)) return handler;
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> DesktopRegistry::ReadDefaultValue(RegistryRoot root, std::string_view key) {
  const std::string k = NormalKey(key);
  const std::string clientsPrefix = "software\\clients\\mail";
  const std::string commandSuffix = "\\shell\\open\\command";
  const bool mailto = root == RegistryRoot::ClassesRoot && k == "mailto" + commandSuffix;
  const bool clientName = root == RegistryRoot::LocalMachine && k == clientsPrefix;
  const bool clientCommand = root == RegistryRoot::LocalMachine && k.starts_with(clientsPrefix + "\\") &&
                             k.ends_with(commandSuffix) &&
                             k.size() > clientsPrefix.size() + 1 + commandSuffix.size();
  if (!mailto && !clientName && !clientCommand) return std::nullopt;

  auto handler = DefaultMailHandler();
  if (!handler) return std::nullopt;
  if (clientName) return handler->id;
  if (clientCommand) {
    const std::string name = k.substr(clientsPrefix.size() + 1, k.size() - clientsPrefix.size() - 1 - commandSuffix.size());
    if (name != ascii::ToLower(handler->id)) return std::nullopt;
    if (handler->args.empty()) return handler->program;
    std::string command = Quoted(handler->program);
    for (auto& a : handler->args) command += " " + ArgumentText(a);
    return command;
  }
  std::string command = Quoted(handler->program);
  for (std::size_t i = 0; i <= handler->args.size(); ++i) {
    if (i == handler->urlIndex) command += " \"%1\"";
    if (i < handler->args.size()) command += " " + ArgumentText(handler->args[i]);
  }
  return command;
}

}  // namespace os
