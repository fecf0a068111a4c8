#pragma once
// Item names to their indexes in a directory, for the operations that add, rename and delete
// items: a look-up costs no walk of the directory, so that filling a bracket with many items takes
// time in step with their number.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ZADirArray.h"

namespace zip {

class TZANameIndex {
 public:
  // The first item (the lowest index) whose name is exactly Name, -1 when none: what a walk of
  // the directory from its first item finds, names held twice included.
  std::int32_t Find(const TZADirArray& dir, const std::string& name);
  // Whether an item other than except has a name that begins with prefix.
  bool AnyOtherWithPrefix(const TZADirArray& dir, const std::string& prefix, std::int32_t except);

  // The changes, told right after the directory made them. An index not built yet ignores them;
  // one whose count does not fit the change is built again at the next look-up.
  // Item index was appended (it is the last).
  void Added(const TZADirArray& dir, std::int32_t index);
  // Item index had the name oldName (nothing to do when it still has it).
  void Renamed(const TZADirArray& dir, std::int32_t index, const std::string& oldName);
  // Item index, named oldName, was removed: the later items moved down by one.
  void Removed(const TZADirArray& dir, std::int32_t index, const std::string& oldName);
  // The directory changed as a whole (loaded, restored, rewritten by a commit).
  void Forget();

  // How many times the index was built from the whole directory.
  std::int64_t Builds() const { return FBuilds; }

 private:
  // Builds the index when it has none, or none for this directory's count.
  void Sync(const TZADirArray& dir);
  void Build(const TZADirArray& dir);
  void Insert(const std::string& name, std::int32_t index);
  void Erase(const std::string& name, std::int32_t index);

  // Each name to the indexes of the items that bear it, in ascending order.
  std::map<std::string, std::vector<std::int32_t>, std::less<>> FPositions;
  std::int32_t FCount = -1;  // the directory's count the index describes; -1: not built
  std::int64_t FBuilds = 0;
};

}  // namespace zip
