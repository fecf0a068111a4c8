#include "os/single_instance.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/environment.h"
#include "os/unique_fd.h"

namespace os {
namespace {

class FileLockMutex final : public NamedMutex {
 public:
  FileLockMutex(int fd, bool alreadyExisted) : fd_(fd), alreadyExisted_(alreadyExisted) {}
  bool AlreadyExisted() const override { return alreadyExisted_; }

 private:
  UniqueFd fd_;
  bool alreadyExisted_;
};

// A folder we can trust with our locks: a real folder (not a link), ours, closed to others.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

std::string EscapeName(std::string_view name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                 c == '-' || (c == '.' && !out.empty());
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

class FileLockInstance final : public SingleInstance {
 public:
  std::unique_ptr<NamedMutex> CreateMutex(std::string_view name) override {
    const std::string folder = MutexFolder();
    if (folder.empty()) return std::make_unique<FileLockMutex>(-1, false);
    const std::string path = folder + "/" + EscapeName(name) + ".mutex";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) return std::make_unique<FileLockMutex>(-1, false);
    int rc;
    do {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return std::make_unique<FileLockMutex>(fd, false);
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return std::make_unique<FileLockMutex>(-1, held);
  }
};

}  // namespace

std::string MutexFolder() {
  if (auto runtime = GetEnvironmentVariable("XDG_RUNTIME_DIR"); runtime && !runtime->empty() && (*runtime)[0] == '/') {
    if (IsPrivateFolder(*runtime)) return *runtime;
  }
  const std::string fallback = "/tmp/orvalis-" + std::to_string(::geteuid());
  if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return IsPrivateFolder(fallback) ? fallback : std::string();
}

template <>
SingleInstance& RealService<SingleInstance>() {
  static FileLockInstance real;
  return real;
}

std::unique_ptr<NamedMutex> CreateMutex(std::string_view name) { return Use<SingleInstance>().CreateMutex(name); }

}  // namespace os
