#include "ZAStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zip {

void TZAStream::ReadBuffer(void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t n = Read(out + done, count - done);
    if (n == 0) throw EStreamError("Stream read error");
    done += n;
  }
}

std::size_t TZAStream::ReadAt(std::int64_t position, void* buffer, std::size_t count) {
  if (position < 0 || position > Size()) return 0;
  Seek(position);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::size_t n = Read(out + done, count - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

namespace {
std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " \"" + path + "\". " + std::strerror(errno);
}
}  // namespace

TZAFileStream::TZAFileStream(const std::string& path, int mode) : FPath(path) {
  int flags = O_CLOEXEC;
  if (mode == fmCreate) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else if (mode == fmOpenReadWriteDenyWrite) {
    flags |= O_RDWR;
  } else {
    flags |= O_RDONLY;
  }
  FHandle = ::open(path.c_str(), flags, 0666);
  if (FHandle < 0) {
    throw EStreamError(ErrnoText(mode == fmCreate ? "Cannot create file" : "Cannot open file", path));
  }
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    errno = EISDIR;
    throw EStreamError(ErrnoText("Cannot open file", path));
  }
  // Deny-write modes keep other writers of this process family away where the file system allows
  // (advisory); nothing more is possible on this platform.
  if (mode == fmOpenReadDenyWrite || mode == fmOpenReadWriteDenyWrite) {
    (void)::flock(FHandle, LOCK_SH | LOCK_NB);
  }
}

TZAFileStream::TZAFileStream(int handle, std::string path) : FHandle(handle), FPath(std::move(path)) {}

TZAFileStream::~TZAFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

std::size_t TZAFileStream::Read(void* buffer, std::size_t count) {
  for (;;) {
    const ssize_t n = ::pread(FHandle, buffer, count, FPosition);
    if (n >= 0) {
      FPosition += n;
      return static_cast<std::size_t>(n);
    }
    if (errno != EINTR) throw EStreamError(ErrnoText("Stream read error", FPath));
  }
}

std::size_t TZAFileStream::Write(const void* buffer, std::size_t count) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(FHandle, in + done, count - done, FPosition);
    if (n < 0) {
      if (errno == EINTR) continue;
      FWriteError = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    FPosition += n;
  }
  return done;
}

void TZAFileStream::Seek(std::int64_t position) { FPosition = std::max<std::int64_t>(position, 0); }

std::int64_t TZAFileStream::Size() const {
  struct stat st {};
  if (::fstat(FHandle, &st) != 0) return 0;
  return st.st_size;
}

void TZAFileStream::SetSize(std::int64_t size) {
  if (::ftruncate(FHandle, size) != 0) throw EStreamError(ErrnoText("Cannot set size of", FPath));
  if (FPosition > size) FPosition = size;
}

void TZAFileStream::Flush() {
  if (::fsync(FHandle) != 0) throw EStreamError(ErrnoText("Cannot flush", FPath));
}

std::size_t TZAMemoryStream::Read(void* buffer, std::size_t count) {
  if (FPosition >= Size()) return 0;
  const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(Size() - FPosition));
  std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TZAMemoryStream::Write(const void* buffer, std::size_t count) {
  const auto end = static_cast<std::size_t>(FPosition) + count;
  if (end > FData.size()) FData.resize(end);
  if (count > 0) std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition = static_cast<std::int64_t>(end);
  return count;
}

void TZAMemoryStream::Seek(std::int64_t position) { FPosition = std::max<std::int64_t>(position, 0); }

void TZAMemoryStream::SetSize(std::int64_t size) {
  FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
  if (FPosition > size) FPosition = size;
}

}  // namespace zip
