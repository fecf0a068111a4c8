#include "ZipArchiver.h"

#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "ZADirManager.h"
#include "ZAModes.h"
#include "ZAPlatform.h"

namespace zip {

namespace {

// Lends a stream to the close without giving it away.
class TZAStreamRef : public TZAStream {
 public:
  explicit TZAStreamRef(TZAStream& target) : FTarget(target) {}
  std::size_t Read(void* buffer, std::size_t count) override { return FTarget.Read(buffer, count); }
  std::size_t Write(const void* buffer, std::size_t count) override { return FTarget.Write(buffer, count); }
  void Seek(std::int64_t position) override { FTarget.Seek(position); }
  std::int64_t Position() const override { return FTarget.Position(); }
  std::int64_t Size() const override { return FTarget.Size(); }
  void SetSize(std::int64_t size) override { FTarget.SetSize(size); }
  void Flush() override { FTarget.Flush(); }

 private:
  TZAStream& FTarget;
};

}  // namespace

TZABaseArchiver::TZABaseArchiver(TComponent* AOwner) : TComponent(AOwner) {
  // Through the setter: mode 1, then the compression method. A virtual call made here reaches
  // only this class's version; TZipArchiver chooses its own method again once it is built.
  SetCompressionLevel(clFastest);
  FOpen = false;
  ExtractCorruptedFiles = false;
  FOpenDamaged = true;
  FSpanningMode = smNone;
  Zip64Mode = zmAuto;
  FVolumeNumberInfo.Reset();
}

TZABaseArchiver::~TZABaseArchiver() {
  // Pending changes are committed by the close; a close never raises, but a destructor must
  // not let anything out either way.
  try {
    CloseArchive();
  } catch (...) {
  }
}

void TZABaseArchiver::SetCompressionLevel(TZACompressionLevel level) {
  FCompressionLevel = level;
  FCompressionMode = ModeFromLevel(level);
  SelectCompressionMethod();
}

void TZABaseArchiver::SetCompressionMode(int mode) {
  if (mode < 0 || mode > 9) throw EZAException(zaerr::InvalidCompressionMode, this);
  FCompressionMode = static_cast<std::uint8_t>(mode);
  FCompressionLevel = LevelFromMode(mode);
  SelectCompressionMethod();
}

std::string TZABaseArchiver::CurrentVersion() const {
  // The number with a point whatever the locale, a blank, and the (empty) edition suffix.
  return std::string("2.65") + " " + "";
}

void TZABaseArchiver::SetSpanningMode(TZASpanningMode mode) {
  if (FOpen) throw forms::Exception("Cannot set spanning mode on open archive");
  FSpanningMode = mode;
}

void TZABaseArchiver::SetInMemory(bool value) {
  if (value == FInMemory) return;
  if (!FOpen) {
    FInMemory = value;
    return;
  }
  if (FInMemory) {
    // From memory to the file FileName. The memory image is complete only once the close has
    // written what is pending (and, for a new archive, its directory), so the close comes first
    // and the image is copied after it; the file is created before anything else, so that a
    // file that cannot be created leaves the archive open in memory.
    if (FileName.empty()) throw EZAException(zaerr::InMemoryBlankFileName, this);
    const std::string path = platform::ToFileSystemPath(FileName);
    auto file = std::make_unique<TZAFileStream>(path, fmCreate);
    std::unique_ptr<TZAStream> image = std::move(FArchiveStream);
    if (image) FArchiveStream = std::make_unique<TZAStreamRef>(*image);
    CloseArchive();
    // The image stays the archive until the file holds all of it: a file that cannot be written
    // (a full disk) is removed and the archive goes on in memory.
    bool written = true;
    try {
      if (image) {
        image->Seek(0);
        std::vector<std::uint8_t> buffer(1 << 16);
        for (;;) {
          const std::size_t n = image->Read(buffer.data(), buffer.size());
          if (n == 0) break;
          if (file->Write(buffer.data(), n) != n) throw EStreamError("Stream write error");
        }
      }
      if (::fsync(file->Handle()) != 0) throw EStreamError("Stream write error");
    } catch (const EStreamError&) {
      written = false;
    }
    file.reset();
    if (!written) {
      // What was written of it goes, if it is a file of its own (never a device such as /dev/full).
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
      ReopenMemoryImage(std::move(image));
      throw EStreamError("Stream write error");
    }
    FInMemory = false;
    OpenArchiveAuto();
  } else {
    // From a file to memory: a new, empty memory archive.
    CloseArchive();
    FInMemory = true;
    OpenArchiveAuto();
  }
}

void TZABaseArchiver::SelectCompressionMethod() { FCompressionMethod = -1; }

void TZABaseArchiver::CheckOpen() const {
  if (!FOpen) throw EZAException(zaerr::ArchiveNotOpen, this);
}

bool TZABaseArchiver::CheckNotInUpdate() const {
  if (FUpdateCount > 0) throw EZAException(zaerr::NotAllowedInUpdate, this);
  return false;
}

std::recursive_mutex& TZABaseArchiver::ProcessLock() {
  static std::recursive_mutex lock;
  return lock;
}

void TZABaseArchiver::Lock() { ProcessLock().lock(); }
void TZABaseArchiver::Unlock() { ProcessLock().unlock(); }

TZipArchiver::TZipArchiver(TComponent* AOwner) : TZABaseArchiver(AOwner) {
  FZipFormat = true;
  Zip64Mode = zmDisabled;
  // The base constructor could only reach its own choice of method.
  SelectCompressionMethod();
}

void TZipArchiver::SelectCompressionMethod() {
  FCompressionMethod = CompressionMode() != 0 ? 8 : 0;
}

}  // namespace zip
