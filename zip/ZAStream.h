#pragma once
// Byte streams of the engine: the archive file (or one of its volumes) and memory archives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zip {

class TZAStream {
 public:
  virtual ~TZAStream() = default;
  TZAStream() = default;
  TZAStream(const TZAStream&) = delete;
  TZAStream& operator=(const TZAStream&) = delete;

  // Reads up to count bytes; returns what was read (0 at the end). Throws on an I/O error.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes count bytes; returns what was written.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  virtual void Seek(std::int64_t position) = 0;
  virtual std::int64_t Position() const = 0;
  virtual std::int64_t Size() const = 0;
  virtual void SetSize(std::int64_t size) = 0;
  // Puts what was written on the disk; throws EStreamError when the system reports a failure.
  virtual void Flush() {}
  // The system's error of the last write that stopped short (ENOSPC, EFBIG...); 0 when none did.
  virtual int LastWriteError() const { return 0; }

  // Reads exactly count bytes or throws EStreamError ("Stream read error").
  void ReadBuffer(void* buffer, std::size_t count);
  // Reads as much as it can at position, restoring nothing; returns the bytes read.
  std::size_t ReadAt(std::int64_t position, void* buffer, std::size_t count);
};

// A failure of the stream layer (open, read, write), the platform's stream errors.
class EStreamError : public std::exception {
 public:
  explicit EStreamError(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

// File open modes as the engine passes them: 32 read only deny write, 34 read and write deny write,
// 64 read only deny nothing, -1 create a new file (replacing an older one).
inline constexpr int fmOpenReadDenyWrite = 32;
inline constexpr int fmOpenReadWriteDenyWrite = 34;
inline constexpr int fmOpenReadDenyNone = 64;
inline constexpr int fmCreate = -1;

class TZAFileStream : public TZAStream {
 public:
  // path is the file system's (UTF-8) name.
  TZAFileStream(const std::string& path, int mode);
  // Takes over a descriptor that is already open for reading and writing (closed with the stream).
  TZAFileStream(int handle, std::string path);
  ~TZAFileStream() override;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  void Seek(std::int64_t position) override;
  std::int64_t Position() const override { return FPosition; }
  std::int64_t Size() const override;
  void SetSize(std::int64_t size) override;
  void Flush() override;
  int LastWriteError() const override { return FWriteError; }
  int Handle() const { return FHandle; }
  const std::string& Path() const { return FPath; }

 private:
  int FHandle = -1;
  std::int64_t FPosition = 0;
  std::string FPath;
  int FWriteError = 0;
};

class TZAMemoryStream : public TZAStream {
 public:
  TZAMemoryStream() = default;
  explicit TZAMemoryStream(std::vector<std::uint8_t> data) : FData(std::move(data)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  void Seek(std::int64_t position) override;
  std::int64_t Position() const override { return FPosition; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t size) override;
  const std::vector<std::uint8_t>& Data() const { return FData; }

 private:
  std::vector<std::uint8_t> FData;
  std::int64_t FPosition = 0;
};

}  // namespace zip
