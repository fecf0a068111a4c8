#pragma once
// The file the update archive is downloaded into: created (replacing an older one) when the
// download starts, written piece by piece as the body arrives, closed when it ends.
#include <cstdint>
#include <string>
#include <string_view>

#include "forms/sysutils.h"

namespace updater {

// A write to the archive file that failed. Its text names the file and gives the system's own
// reason, so that a full disk or a file size limit is told as such: "Erreur d'écriture dans le
// fichier /opt/orvalis/OrvalisP.zip : No space left on device".
class EWriteError : public forms::Exception {
 public:
  EWriteError(const std::string& Path, int Error);
};

class TDownloadFile {
 public:
  // Creates the file, or throws forms::Exception ("Impossible de créer le fichier ...").
  explicit TDownloadFile(std::string Path);
  ~TDownloadFile();
  TDownloadFile(const TDownloadFile&) = delete;
  TDownloadFile& operator=(const TDownloadFile&) = delete;

  // Appends the bytes; throws EWriteError when they cannot all be written.
  void Write(std::string_view Bytes);
  // Closes the file; throws EWriteError when its data could not be kept.
  void Close();
  std::int64_t Size() const { return size_; }

 private:
  std::string path_;
  int fd_ = -1;
  std::int64_t size_ = 0;
};

}  // namespace updater
