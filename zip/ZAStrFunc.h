#pragma once
// Path and name helpers of the engine. Names are UTF-8 strings in which both "/" and
// "\" separate folders; a name may carry a drive ("C:") or a network prefix ("\\server\share").
// Paths built here take the separator of the path they start from: "/" for a path rooted in
// "/", "\" otherwise.
#include <string>
#include <string_view>

#include "ZATypes.h"

namespace zip {

inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// s cut to at most maxBytes bytes, never inside a UTF-8 character: a character that the limit
// would split goes whole. Bytes that do not read as UTF-8 there are cut at the limit.
void CutToCharacter(std::string& s, std::size_t maxBytes);

// "/" replaced by "\" (how events show stored names) and back.
std::string ToBackslashes(std::string_view name);
std::string ToSlashes(std::string_view name);

std::string ExtractFileDrive(std::string_view name);  // "C:", "\\server\share" or empty
std::string ExtractFileName(std::string_view name);   // after the last separator or ":"
std::string ExtractFilePath(std::string_view name);   // up to and with the last separator or ":"
std::string IncludeTrailingBackslash(std::string_view dir);
std::string ExcludeTrailingBackslash(std::string_view dir);

// The absolute, normalised form of name ("." and ".." resolved, never above the root), taken
// relative to dir when it is relative. A trailing separator stays.
std::string ExpandFileNameIn(std::string_view name, std::string_view dir);
std::string ExpandFileName(std::string_view name);  // relative to the current directory
// The way from the folder of baseName to destName ("..\" steps where it climbs), or destName
// when they are on different drives.
std::string ExtractRelativePath(std::string_view baseName, std::string_view destName);

bool IsFloppyDrive(std::string_view fileName);
bool IsRemovableDrive(std::string_view fileName);
// dir, or the current directory when dir is empty, with a trailing separator.
std::string BaseDirWithBackslash(std::string_view dir);
// The absolute form of a directory, or of a name relative to it. The current directory of the
// process is left alone.
std::string ResolvePath(std::string_view dir, std::string_view name);

// The item name under which a disk file is stored: "/" separated, without drive or server.
std::string MakeStoredFileName(std::string_view fileName, std::string_view baseDir,
                               TZAStorePathMode storePath);

}  // namespace zip
