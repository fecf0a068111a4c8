#include "DownloadFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace updater {

EWriteError::EWriteError(const std::string& Path, int Error)
    : forms::Exception("Erreur d'écriture dans le fichier " + Path + " : " +
                       std::generic_category().message(Error)) {}

TDownloadFile::TDownloadFile(std::string Path) : path_(std::move(Path)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) throw forms::Exception("Impossible de créer le fichier " + path_);
}

TDownloadFile::~TDownloadFile() {
  if (fd_ >= 0) ::close(fd_);
}

void TDownloadFile::Write(std::string_view Bytes) {
  while (!Bytes.empty()) {
    if (fd_ < 0) throw EWriteError(path_, EBADF);
    const ssize_t written = ::write(fd_, Bytes.data(), Bytes.size());
    if (written < 0 && errno == EINTR) continue;
    // A regular file takes at least one byte or says why not (ENOSPC, EFBIG, EIO, ...).
    if (written <= 0) throw EWriteError(path_, written < 0 ? errno : EIO);
    Bytes.remove_prefix(static_cast<std::size_t>(written));
    size_ += written;
  }
}

void TDownloadFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) throw EWriteError(path_, errno);
}

}  // namespace updater
