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

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

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

void WriteFriendsFile(const std::string& path, const std::vector<std::string>& entries,
                      const std::function<void(const std::string& path)>& reportUndeletable) {
  if (Exists(path) && ::unlink(path.c_str()) != 0 && reportUndeletable) reportUndeletable(path);
  if (entries.empty()) return;

  File file(std::fopen(path.c_str(), Exists(path) ? "ab" : "wb"));
  if (!file) throw EInOutError(errno);
  for (const std::string& entry : entries) {
    const std::string line = os::Utf8ToCp1252(entry) + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) throw EInOutError(errno ? errno : EIO);
  }
  if (std::fflush(file.get()) != 0) throw EInOutError(errno ? errno : EIO);
}

}  // namespace client
