#include "friends_files.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "os/codepage.h"

namespace client {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

EInOutError::EInOutError(int code) : std::runtime_error("Erreur d'E/S " + std::to_string(code)), code_(code) {}

std::optional<std::vector<std::string>> ReadFriendsFile(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    if (errno == ENOENT) return std::nullopt;
    throw EInOutError(errno);
  }
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) throw EInOutError(errno ? errno : EIO);

  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    entries.push_back(os::Cp1252ToUtf8(std::string_view(bytes).substr(start, end - start)));
    if (end == bytes.size()) break;
    const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
    start = end + (crlf ? 2 : 1);
  }
  return entries;
}

void WriteFriendsFile(const std::string& path, const std::vector<std::string>& entries) {
  if (entries.empty()) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw EInOutError(errno);
    return;
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw EInOutError(errno);
  File file(::fdopen(fd, "wb"));
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    throw EInOutError(error);
  }
  // The new file gets the old one's permissions, or those of any new file.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  const auto fail = [&](int error) {
    file.reset();
    ::unlink(temporary.c_str());
    throw EInOutError(error ? error : EIO);
  };
  for (const std::string& entry : entries) {
    const std::string line = os::Utf8ToCp1252(entry) + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) fail(errno);
  }
  if (std::fflush(file.get()) != 0 || ::fsync(fd) != 0) fail(errno);
  if (std::fclose(file.release()) != 0) fail(errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace client
