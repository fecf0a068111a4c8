#pragma once
// The new archive that a commit writes beside the old one: a file in the archive's folder that has
// no name while it is written and is locked for as long as it lives, then takes the archive's name
// at once when it is complete and on disk. What a killed commit left in the folder (a temporary
// name of this archive's own pattern, which no live process holds) is removed by the next commit.
#include <memory>
#include <string>

#include "ZAStream.h"

namespace zip {

class TZABaseArchiver;

// A file on a descriptor of its own: the new archive beside the old one.
class TZAFdFile final : public TZAFileStream {
 public:
  // shown: where the file is, for the messages of its failures. path: the file's name where the
  // file system could not leave it unnamed; it is removed with the stream unless Keep() was called.
  TZAFdFile(int fd, const std::string& shown, std::string path = {})
      : TZAFileStream(fd, shown), FNamedPath(std::move(path)) {}
  ~TZAFdFile() override;
  const std::string& NamedPath() const { return FNamedPath; }
  void Keep() { FNamedPath.clear(); }

 private:
  std::string FNamedPath;
};

// The file an archive's name leads to: a symbolic link is followed to its target, so that the new
// archive replaces the target and the link stays.
std::string ResolveArchivePath(const std::string& path);

// A new, empty, locked file in the folder of target (a file system path); nullptr when none can be
// made there.
std::unique_ptr<TZAFdFile> CreateBesideFile(const std::string& target);

// Gives the complete new archive file the name target: the owner, group and mode of the old file
// (oldHandle) where they can be kept, the data flushed, a temporary name of the archive's pattern,
// then the rename over target. Code 46 when the flush fails, 72 when the file cannot take the name
// (the old archive then stays as it was). Returns whether the folder could be flushed afterwards.
bool PlaceBesideFile(const TZABaseArchiver& archiver, TZAFdFile& file, int oldHandle, const std::string& target);

// Whether name is a temporary name of the archive whose file name is base.
bool IsBesideTempName(const std::string& name, const std::string& base);

// Removes from the folder of target the temporary files of that archive that killed commits left:
// only names of its own pattern, only regular files, only those no live process holds.
void RemoveLeftoversBeside(const std::string& target);

}  // namespace zip
