#pragma once
// Folders of file system paths, and flushing a folder's entries to the disk: what makes a new name
// in a folder outlive a power cut.
#include <string>

namespace zip {

// The folder that holds path: "." for a bare name, "/" for a name at the root.
std::string FolderOfPath(const std::string& path);

// The folder part of path with its trailing "/": "" for a bare name.
std::string FolderPrefixOf(const std::string& path);

// The last part of path (after its last "/").
std::string BaseOfPath(const std::string& path);

// Flushes the entries of folder to the disk; false when it cannot be opened or flushed.
bool FlushFolder(const std::string& folder);

}  // namespace zip
