#pragma once
// The new archive that a commit writes beside the old one: a file in the archive's folder that has
// no name while it is written and is locked for as long as it lives, then takes the archive's name
// at once when it is complete and on disk. What a killed commit left in the folder (a temporary
// name of this archive's own pattern, which no live process holds) is removed by the next commit.
// A new archive is written the same way: a file that had its name stays until it is complete.
#include <memory>
#include <string>

#include "ZAStream.h"

namespace zip {

class TZABaseArchiver;

// A file on a descriptor of its own: the new archive beside the old one.
class TZAFdFile final : public TZAFileStream {
 public:
  // shown: where the file is, for the messages of its failures. target: the name it is to take.
  // path: the file's name where the file system could not leave it unnamed; it is removed with
  // the stream unless Keep() was called.
  TZAFdFile(int fd, const std::string& shown, std::string target, std::string path = {})
      : TZAFileStream(fd, shown), FTarget(std::move(target)), FNamedPath(std::move(path)) {}
  ~TZAFdFile() override;
  const std::string& Target() const { return FTarget; }
  const std::string& NamedPath() const { return FNamedPath; }
  // The file's name is no longer this stream's to remove.
  void Keep() { FNamedPath.clear(); }
  // Whether the file has taken its target's name.
  bool Placed() const { return FPlaced; }
  void MarkPlaced() { FPlaced = true; }

 private:
  std::string FTarget;
  std::string FNamedPath;
  bool FPlaced = false;
};

// The file an archive's name leads to: a symbolic link is followed to its target, so that the new
// archive replaces the target and the link stays.
std::string ResolveArchivePath(const std::string& path);

// A new, empty, locked file in the folder of target (a file system path), to take target's name
// later; nullptr when none can be made there.
std::unique_ptr<TZAFdFile> CreateBesideFile(const std::string& target);

// Flushes a written file's data; code 46 when that fails.
void FlushOrFail(const TZABaseArchiver& archiver, TZAStream& stream);

// Gives the complete new archive file its target's name: the owner, group and mode of the old file
// (open on oldHandle; -1 where no file had the name) where they can be kept, the data flushed, a
// temporary name of the archive's pattern, then the name, which the old file gives up in the same
// step. The archiver's commit lock moves to the new file. Code 46 when the flush fails; 72 when the
// file cannot take the name, or a file of another program that had it cannot get it back; 75 when
// the name held another program's file instead of the old one (that file keeps the name). The
// folder is not flushed here.
void PlaceBesideFile(TZABaseArchiver& archiver, TZAFdFile& file, int oldHandle);

// Whether name is a temporary name of the archive whose file name is base.
bool IsBesideTempName(const std::string& name, const std::string& base);

// Removes from the folder of target the temporary files of that archive that killed commits left:
// only names of its own pattern, only regular files, only those no live process holds.
void RemoveLeftoversBeside(const std::string& target);

}  // namespace zip
