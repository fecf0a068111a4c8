#include "ZANameIndex.h"

#include <algorithm>

namespace zip {

void TZANameIndex::Forget() {
  FPositions.clear();
  FCount = -1;
}

void TZANameIndex::Build(const TZADirArray& dir) {
  FPositions.clear();
  for (std::int32_t i = 0; i < dir.GetCount(); ++i) FPositions[dir.ItemRef(i).Name].push_back(i);
  FCount = dir.GetCount();
  ++FBuilds;
}

void TZANameIndex::Sync(const TZADirArray& dir) {
  if (FCount != dir.GetCount()) Build(dir);
}

void TZANameIndex::Insert(const std::string& name, std::int32_t index) {
  std::vector<std::int32_t>& at = FPositions[name];
  at.insert(std::lower_bound(at.begin(), at.end(), index), index);
}

void TZANameIndex::Erase(const std::string& name, std::int32_t index) {
  const auto found = FPositions.find(name);
  if (found == FPositions.end()) return;
  std::vector<std::int32_t>& at = found->second;
  const auto it = std::lower_bound(at.begin(), at.end(), index);
  if (it != at.end() && *it == index) at.erase(it);
  if (at.empty()) FPositions.erase(found);
}

std::int32_t TZANameIndex::Find(const TZADirArray& dir, const std::string& name) {
  Sync(dir);
  for (int pass = 0; pass < 2; ++pass) {
    const auto found = FPositions.find(name);
    if (found == FPositions.end()) return -1;
    const std::int32_t index = found->second.front();
    if (index < dir.GetCount() && dir.ItemRef(index).Name == name) return index;
    // An item renamed behind the index's back: it is built again, once.
    Build(dir);
  }
  return -1;
}

bool TZANameIndex::AnyOtherWithPrefix(const TZADirArray& dir, const std::string& prefix, std::int32_t except) {
  Sync(dir);
  // The names that begin with prefix follow one another from the first one not below it.
  for (auto it = FPositions.lower_bound(prefix); it != FPositions.end() && it->first.starts_with(prefix); ++it) {
    const std::vector<std::int32_t>& at = it->second;
    if (at.size() > 1 || at.front() != except) return true;
  }
  return false;
}

void TZANameIndex::Added(const TZADirArray& dir, std::int32_t index) {
  if (FCount < 0) return;
  if (FCount + 1 != dir.GetCount() || index != FCount) {
    Forget();
    return;
  }
  Insert(dir.ItemRef(index).Name, index);
  FCount = dir.GetCount();
}

void TZANameIndex::Renamed(const TZADirArray& dir, std::int32_t index, const std::string& oldName) {
  if (FCount < 0) return;
  if (FCount != dir.GetCount()) {
    Forget();
    return;
  }
  const std::string& name = dir.ItemRef(index).Name;
  if (name == oldName) return;
  Erase(oldName, index);
  Insert(name, index);
}

void TZANameIndex::Removed(const TZADirArray& dir, std::int32_t index, const std::string& oldName) {
  if (FCount < 0) return;
  if (FCount != dir.GetCount() + 1) {
    Forget();
    return;
  }
  Erase(oldName, index);
  // The items after it are one place further forward now.
  for (auto& [name, at] : FPositions) {
    for (auto it = std::upper_bound(at.begin(), at.end(), index); it != at.end(); ++it) --*it;
  }
  FCount = dir.GetCount();
}

}  // namespace zip
