#include "dovecot_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace mail::test_servers {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 15s;
constexpr auto kStopLimit = 5s;

struct Ids {
  uid_t uid;
  gid_t gid;
  std::string name;
};

Ids UserIds(const char* name) {
  const passwd* pw = ::getpwnam(name);
  if (!pw) throw std::runtime_error(std::string("no user ") + name + " for Dovecot");
  return {pw->pw_uid, pw->pw_gid, pw->pw_name};
}

Ids Self() {
  const passwd* pw = ::getpwuid(::geteuid());
  if (!pw) throw std::runtime_error("the current user has no name");
  return {pw->pw_uid, pw->pw_gid, pw->pw_name};
}

bool Root() { return ::geteuid() == 0; }

// The users of the mail and of the login processes.
Ids MailUser() { return Root() ? UserIds("dovecot") : Self(); }
Ids LoginUser() { return Root() ? UserIds("dovenull") : Self(); }

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  if (s >= 0) ::close(s);
  if (port == 0) throw std::runtime_error("no free port on 127.0.0.1");
  return port;
}

// True once a POP3 greeting arrives on the port.
bool Greets(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = false;
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    pollfd p{s, POLLIN, 0};
    char buf[64];
    if (::poll(&p, 1, 2000) > 0) ok = ::recv(s, buf, sizeof buf, 0) >= 3 && std::string(buf, 3) == "+OK";
  }
  ::close(s);
  return ok;
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Own(const fs::path& path, const Ids& ids) {
  if (Root() && ::chown(path.c_str(), ids.uid, ids.gid) != 0)
    throw std::runtime_error("cannot give " + path.string() + " to " + ids.name);
}

}  // namespace

std::string DovecotProgram() {
  for (const char* p : {"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"})
    if (::access(p, X_OK) == 0) return p;
  return {};
}

DovecotServer::DovecotServer(std::string user, std::string password, int port)
    : user_(std::move(user)), password_(std::move(password)) {
  if (DovecotProgram().empty()) throw std::runtime_error("Dovecot is not installed (dovecot-pop3d)");
  char pattern[] = "/tmp/orvalis-dovecot-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
  folder_ = pattern;
  try {
    // Dovecot's own users must reach the configuration and the mail.
    ::chmod(folder_.c_str(), 0755);
    const fs::path home = fs::path(folder_) / "home";
    maildir_ = (home / user_ / "Maildir").string();
    for (const char* sub : {"new", "cur", "tmp"}) fs::create_directories(fs::path(maildir_) / sub);
    for (const fs::path& p : {home / user_, fs::path(maildir_), fs::path(maildir_) / "new", fs::path(maildir_) / "cur",
                              fs::path(maildir_) / "tmp"})
      Own(p, MailUser());
    fs::create_directories(fs::path(folder_) / "state");
    // A port given is used as it is; a free one is found otherwise (and again, should another
    // program take it first).
    for (int attempt = 0;; ++attempt) {
      port_ = port ? port : FreePort();
      WriteConfiguration();
      try {
        Start();
        break;
      } catch (const std::exception&) {
        if (port || attempt >= 3) throw;
      }
    }
  } catch (...) {
    Stop();
    std::error_code ec;
    fs::remove_all(folder_, ec);
    throw;
  }
}

DovecotServer::~DovecotServer() {
  Stop();
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void DovecotServer::WriteConfiguration() {
  const fs::path dir(folder_);
  WriteFile(dir / "passwd", user_ + ":{PLAIN}" + password_ + "\n");
  const Ids mail = MailUser();
  const Ids login = LoginUser();
  std::ostringstream c;
  c << "instance_name = orvalis-" << port_ << "\n"
    << "base_dir = " << (dir / "run").string() << "\n"
    << "state_dir = " << (dir / "state").string() << "\n"
    << "log_path = " << (dir / "dovecot.log").string() << "\n"
    << "protocols = pop3\n"
    << "listen = 127.0.0.1\n"
    << "ssl = no\n"
    << "disable_plaintext_auth = no\n"
    << "auth_mechanisms = plain\n"
    << "auth_verbose = yes\n"
    << "auth_failure_delay = 0\n"
    << "default_internal_user = " << mail.name << "\n"
    << "default_login_user = " << login.name << "\n"
    << "first_valid_uid = 1\n"
    << "mail_location = maildir:~/Maildir\n"
    << "pop3_uidl_format = %08Xu%08Xv\n"
    << "passdb {\n  driver = passwd-file\n  args = " << (dir / "passwd").string() << "\n}\n"
    << "userdb {\n  driver = static\n  args = uid=" << mail.uid << " gid=" << mail.gid << " home="
    << (dir / "home").string() << "/%u\n}\n"
    << "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << port_
    << "\n  }\n}\n"
    << "service anvil {\n  chroot =\n}\n"
    << "service stats {\n  unix_listener stats-reader {\n    mode = 0666\n  }\n"
    << "  unix_listener stats-writer {\n    mode = 0666\n  }\n}\n";
  WriteFile(dir / "dovecot.conf", c.str());
}

void DovecotServer::Start() {
  const std::string program = DovecotProgram();
  const std::string config = folder_ + "/dovecot.conf";
  const std::string errors = folder_ + "/dovecot.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  std::vector<std::string> args{program, "-F", "-c", config};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + program);
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("Dovecot stopped at start: " + ReadFile(errors) + Log());
    }
    if (Greets(port_)) return;
    std::this_thread::sleep_for(20ms);
  }
  Stop();
  throw std::runtime_error("Dovecot did not answer on port " + std::to_string(port_));
}

void DovecotServer::Stop() noexcept {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  pid_ = -1;
}

void DovecotServer::Deliver(const std::string& raw) {
  // Maildir names begin with the delivery time: Dovecot numbers new mail in that order.
  ++delivered_;
  const std::string name = std::to_string(1700000000 + delivered_) + ".M" + std::to_string(delivered_) + "P" +
                           std::to_string(::getpid()) + ".orvalis";
  const fs::path tmp = fs::path(maildir_) / "tmp" / name;
  WriteFile(tmp, raw);
  Own(tmp, MailUser());
  fs::rename(tmp, fs::path(maildir_) / "new" / name);
}

std::vector<std::string> DovecotServer::Messages() const {
  std::vector<fs::path> files;
  for (const char* sub : {"new", "cur"})
    for (const auto& e : fs::directory_iterator(fs::path(maildir_) / sub))
      if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
  std::vector<std::string> messages;
  for (const fs::path& f : files) messages.push_back(ReadFile(f));
  return messages;
}

std::string DovecotServer::Log() const { return ReadFile(fs::path(folder_) / "dovecot.log"); }

}  // namespace mail::test_servers
