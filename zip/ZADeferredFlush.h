#pragma once
// Durability of an extraction run, made once at the run's end instead of file by file: each new
// file starts its write-back when it is written, the run records the folders it changed, and at
// its end every file system those folders lie on is flushed, then each folder.
#include <string>
#include <unordered_set>
#include <vector>

namespace zip {

class TZADeferredFlush {
 public:
  // Starts the write-back of an open file's data to the disk, without waiting for it.
  static void StartWriteBack(int fd);

  // A folder whose entries the run changed (files placed in it).
  void AddFolder(const std::string& folder);
  bool Empty() const { return FFolders.empty(); }
  void Clear();
  // Flushes what the run left pending: the file systems of the folders, then the folders. The
  // first folder that could not be flushed (empty when all reached the disk); the folders that
  // could not be flushed stay in the record, to be flushed again.
  std::string FlushAll();

 private:
  std::vector<std::string> FFolders;
  std::unordered_set<std::string> FSeen;
};

}  // namespace zip
