#include "os/shell.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/ascii.h"
#include "os/environment.h"

extern char** environ;

namespace os {
namespace {

bool IsUrl(std::string_view file) {
  // A scheme of two characters or more, then ':'. One letter would be a drive.
  const auto colon = file.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!alpha(file[0])) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = file[i];
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string FindInPath(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return {};
  const std::string path = GetEnvironmentVariable("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + std::string(name);
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

namespace {

bool OpenWithDesktop(const std::string& target, std::string_view directory) {
  const std::string opener = FindInPath("xdg-open");
  if (opener.empty()) return false;
  return StartDetached(opener, {target}, directory);
}

class DetachingShell final : public Shell {
 public:
  bool ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                    std::string_view directory) override {
    if (!verb.empty() && !ascii::EqualsIgnoringCase(verb, "open")) return false;
    if (file.empty() || file.find('\0') != std::string_view::npos) return false;
    const std::string target(file);
    if (IsUrl(file)) return OpenWithDesktop(target, directory);

    std::string path;
    if (target.find('/') == std::string::npos) {
      path = FindInPath(target);
      if (path.empty() && !directory.empty()) path = std::string(directory) + "/" + target;
      if (path.empty()) path = target;
    } else if (target[0] != '/' && !directory.empty()) {
      path = std::string(directory) + "/" + target;
    } else {
      path = target;
    }
    // The program starts in `directory`: a relative path would no longer lead to it there.
    if (path[0] != '/') {
      std::error_code ec;
      path = std::filesystem::absolute(path, ec).string();
      if (ec) return false;
    }
    if (IsExecutableFile(path)) return StartDetached(path, SplitCommandLine(parameters), directory);
    if (Exists(path)) return OpenWithDesktop(path, directory);
    return false;
  }
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const std::size_t n = line.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (true) {
    while (i < n && blank(line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    for (; i < n && (quoted || !blank(line[i])); ++i) {
      const char c = line[i];
      if (c == '\\') {
        // Backslashes are literal unless they come before a quote: 2k of them then a quote
        // give k backslashes and a quote mark; 2k+1 give k backslashes and a literal quote.
        std::size_t run = 0;
        while (i + run < n && line[i + run] == '\\') ++run;
        if (i + run < n && line[i + run] == '"') {
          arg.append(run / 2, '\\');
          if (run % 2 == 1) {
            arg += '"';
            i += run;  // the loop's ++i steps over the quote
          } else {
            i += run - 1;  // the quote itself is handled on the next turn
          }
        } else {
          arg.append(run, '\\');
          i += run - 1;
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';  // "" inside quotes is one literal quote
          ++i;
        } else {
          quoted = !quoted;
        }
      } else {
        arg += c;
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

bool StartDetached(const std::string& program, const std::vector<std::string>& args, std::string_view directory) {
  return StartProgram(program, args, directory) == 0;
}

int StartProgram(const std::string& program, const std::vector<std::string>& args, std::string_view directory) {
  // Everything the children need is made before forking: after fork only calls that are
  // safe in a child of a threaded process are made.
  std::vector<std::string> argStore;
  argStore.reserve(args.size() + 1);
  argStore.push_back(program);
  for (const auto& a : args) argStore.push_back(a);
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string dir(directory);
  const bool changeDir = !dir.empty();

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return errno;
  const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

  const pid_t middle = ::fork();
  if (middle < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    if (devNull >= 0) ::close(devNull);
    return error;
  }
  if (middle == 0) {
    // The middle child only starts the grandchild and goes, so the program is nobody's child;
    // a grandchild that cannot be made is reported as the program's failure would be.
    const pid_t child = ::fork();
    if (child < 0) {
      const int error = errno;
      while (::write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
      }
    }
    if (child != 0) ::_exit(child < 0 ? 1 : 0);
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);
    if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
    // Nothing of ours but the report pipe (closed by exec) goes on to the program.
    const unsigned keep = static_cast<unsigned>(report[1]);
    if (keep > 3) ::close_range(3, keep - 1, 0);
    ::close_range(keep + 1, ~0U, 0);
    int error = 0;
    if (changeDir && ::chdir(dir.c_str()) != 0) {
      error = errno;
    } else {
      ::execve(argv[0], argv.data(), environ);
      error = errno;
    }
    while (::write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
  }

  ::close(report[1]);
  if (devNull >= 0) ::close(devNull);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes on a successful exec (nothing read) or carries the errno of a failure.
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof error) && error != 0) return error;
  if (got != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
  return 0;
}

template <>
Shell& RealService<Shell>() {
  static DetachingShell real;
  return real;
}

bool ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                  std::string_view directory) {
  return Use<Shell>().ShellExecute(verb, file, parameters, directory);
}

}  // namespace os
