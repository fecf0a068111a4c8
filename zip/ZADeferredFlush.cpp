#include "ZADeferredFlush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "ZAFolders.h"
#include "os/unique_fd.h"

namespace zip {

void TZADeferredFlush::StartWriteBack(int fd) { (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

void TZADeferredFlush::AddFolder(const std::string& folder) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  if (FSeen.insert(path).second) FFolders.push_back(path);
}

void TZADeferredFlush::Clear() {
  FFolders.clear();
  FSeen.clear();
}

std::string TZADeferredFlush::FlushAll() {
  std::vector<std::string> failed;
  std::set<dev_t> flushedDevices;
  // Each file system once: the data of every file written into it, whose write-back has started.
  for (const std::string& folder : FFolders) {
    const os::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
      failed.push_back(folder);
    } else if (flushedDevices.insert(st.st_dev).second && ::syncfs(fd.get()) != 0) {
      failed.push_back(folder);
    }
  }
  // Then the folders' entries.
  for (const std::string& folder : FFolders) {
    if (!FlushFolder(folder) && std::find(failed.begin(), failed.end(), folder) == failed.end()) {
      failed.push_back(folder);
    }
  }
  Clear();
  for (const std::string& folder : failed) AddFolder(folder);
  return failed.empty() ? std::string() : failed.front();
}

}  // namespace zip
