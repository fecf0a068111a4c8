#include "ZAStrFunc.h"

#include <cctype>
#include <vector>

#include "ZAPlatform.h"
#include "ZAUnicode.h"

namespace zip {

namespace {

bool HasDriveLetter(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
}

bool IsUnc(std::string_view s) { return s.size() >= 2 && s[0] == '\\' && s[1] == '\\'; }

char StyleOf(std::string_view path) {
  return (!path.empty() && path[0] == '/') ? '/' : '\\';
}

// Splits an absolute path into its root ("/", "C:\", "\\server\share\") and the rest.
std::size_t RootLength(std::string_view s) {
  if (HasDriveLetter(s)) return (s.size() > 2 && IsPathSeparator(s[2])) ? 3 : 2;
  if (IsUnc(s)) {
    std::size_t i = 2;
    int parts = 0;
    while (i < s.size() && parts < 2) {
      if (IsPathSeparator(s[i])) ++parts;
      ++i;
    }
    return i;
  }
  if (!s.empty() && IsPathSeparator(s[0])) return 1;
  return 0;
}

bool SameFolderName(std::string_view a, std::string_view b, bool ignoreCase) {
  if (!ignoreCase) return a == b;
  return SameTextIgnoreCase(a, b);
}

std::vector<std::string> SplitFolders(std::string_view s) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : s) {
    if (IsPathSeparator(c)) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

}  // namespace

void CutToCharacter(std::string& s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return;
  const auto continuation = [&](std::size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
  // A character has at most three bytes after its first one.
  std::size_t first = maxBytes;
  while (first > 0 && maxBytes - first < 3 && continuation(first)) --first;
  const bool leadByte = static_cast<unsigned char>(s[first]) >= 0xC0;
  s.resize(first < maxBytes && leadByte ? first : maxBytes);
}

std::string ToBackslashes(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::string ToSlashes(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string ExtractFileDrive(std::string_view name) {
  if (HasDriveLetter(name)) return std::string(name.substr(0, 2));
  if (IsUnc(name)) {
    std::size_t len = RootLength(name);
    if (len > 0 && IsPathSeparator(name[len - 1])) --len;
    return std::string(name.substr(0, len));
  }
  return {};
}

std::string ExtractFileName(std::string_view name) {
  std::size_t i = name.find_last_of("/\\:");
  return std::string(i == std::string_view::npos ? name : name.substr(i + 1));
}

std::string ExtractFilePath(std::string_view name) {
  std::size_t i = name.find_last_of("/\\:");
  return i == std::string_view::npos ? std::string() : std::string(name.substr(0, i + 1));
}

std::string IncludeTrailingBackslash(std::string_view dir) {
  std::string s(dir);
  if (s.empty() || !IsPathSeparator(s.back())) s += StyleOf(s);
  return s;
}

std::string ExcludeTrailingBackslash(std::string_view dir) {
  std::string s(dir);
  if (!s.empty() && IsPathSeparator(s.back())) s.pop_back();
  return s;
}

std::string ExpandFileNameIn(std::string_view name, std::string_view dir) {
  std::string full;
  if (RootLength(name) > 0) {
    full = std::string(name);
  } else {
    std::string base = dir.empty() ? platform::GetCurrentDir() : std::string(dir);
    if (RootLength(base) == 0) base = IncludeTrailingBackslash(platform::GetCurrentDir()) + base;
    full = IncludeTrailingBackslash(base) + std::string(name);
  }
  const char sep = StyleOf(full);
  std::size_t rootLen = RootLength(full);
  std::string root = full.substr(0, rootLen);
  for (char& c : root)
    if (IsPathSeparator(c)) c = sep;
  if (root.size() == 2 && HasDriveLetter(root)) root += sep;  // "C:x" is taken as "C:\x"
  if (IsUnc(full) && !root.empty() && !IsPathSeparator(root.back())) root += sep;
  std::vector<std::string> kept;
  for (std::string& part : SplitFolders(std::string_view(full).substr(rootLen))) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(std::move(part));
  }
  std::string out = root;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += sep;
    out += kept[i];
  }
  bool trailing = !full.empty() && IsPathSeparator(full.back()) && full.size() > rootLen;
  if (trailing && !kept.empty()) out += sep;
  return out;
}

std::string ExpandFileName(std::string_view name) {
  return ExpandFileNameIn(name, platform::GetCurrentDir());
}

std::string ExtractRelativePath(std::string_view baseName, std::string_view destName) {
  std::string basePath = ExtractFilePath(baseName);
  std::string destPath = ExtractFilePath(destName);
  std::string baseDrive = ExtractFileDrive(basePath);
  std::string destDrive = ExtractFileDrive(destPath);
  const bool ignoreCase = StyleOf(destName) == '\\';
  if (!SameFolderName(baseDrive, destDrive, true)) return std::string(destName);
  std::vector<std::string> base = SplitFolders(std::string_view(basePath).substr(baseDrive.size()));
  std::vector<std::string> dest = SplitFolders(std::string_view(destPath).substr(destDrive.size()));
  std::size_t same = 0;
  while (same < base.size() && same < dest.size() && SameFolderName(base[same], dest[same], ignoreCase))
    ++same;
  const char sep = StyleOf(destName);
  std::string out;
  for (std::size_t i = same; i < base.size(); ++i) out += std::string("..") + sep;
  for (std::size_t i = same; i < dest.size(); ++i) out += dest[i] + sep;
  return out + ExtractFileName(destName);
}

bool IsFloppyDrive(std::string_view fileName) {
  std::string drive = ExtractFileDrive(fileName);
  platform::CharUpperBuffA(drive);
  return drive == "A:" || drive == "B:";
}

bool IsRemovableDrive(std::string_view fileName) {
  if (IsFloppyDrive(fileName)) return true;
  return platform::GetDriveType(ExtractFileDrive(fileName)) == platform::TDriveType::Removable;
}

std::string BaseDirWithBackslash(std::string_view dir) {
  if (dir.empty()) return IncludeTrailingBackslash(platform::GetCurrentDir());
  return IncludeTrailingBackslash(dir);
}

std::string ResolvePath(std::string_view dir, std::string_view name) {
  std::string d = BaseDirWithBackslash(dir);
  if (!name.empty()) return ExpandFileNameIn(name, d);
  if (dir.find(':') != std::string_view::npos) return std::string(dir);
  if (dir.empty()) return platform::GetCurrentDir();
  if (platform::DirectoryExists(d)) {
    std::string abs = ExpandFileNameIn(d, platform::GetCurrentDir());
    if (abs.size() > RootLength(abs)) abs = ExcludeTrailingBackslash(abs);
    return abs;
  }
  return std::string(dir);
}

std::string MakeStoredFileName(std::string_view fileName, std::string_view baseDir,
                               TZAStorePathMode storePath) {
  std::string base = ResolvePath(baseDir, {});
  std::string full = ResolvePath(base, fileName);
  if (!full.empty() && IsPathSeparator(full.back())) full.pop_back();
  if (!full.empty() && full.back() == '.') full.pop_back();

  switch (storePath) {
    case spNoPath:
      full = ExtractFileName(full);
      break;
    case spRelativePath: {
      std::string rel = ExtractRelativePath(BaseDirWithBackslash(base), full);
      if (rel.find("..\\") == std::string::npos && rel.find("../") == std::string::npos) full = rel;
      break;
    }
    case spFullPath:
      break;
    case spFullPathWithDrive:
      return ToSlashes(ExpandFileName(full));
  }

  // Where the stored name starts: after a drive, past a server name, past a leading separator.
  std::size_t colon = full.find(':');
  std::size_t i = colon == std::string::npos ? 0 : colon + 1;
  if (i >= full.size()) return {};
  if (colon == std::string::npos && full.size() >= 2) {
    for (std::size_t k = 0; k + 1 < full.size(); ++k) {
      if (IsPathSeparator(full[k]) && IsPathSeparator(full[k + 1])) {
        i = k + 2;
        for (std::size_t s = i; s < full.size(); ++s)
          if (IsPathSeparator(full[s])) {
            i = s + 1;
            break;
          }
        break;
      }
    }
  }
  if (i < full.size() && IsPathSeparator(full[i])) ++i;
  return ToSlashes(std::string_view(full).substr(i < full.size() ? i : full.size()));
}

}  // namespace zip
