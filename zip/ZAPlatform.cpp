#include "ZAPlatform.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <tuple>


namespace zip::platform {

namespace {

std::mutex gMutex;
std::optional<std::uint32_t> gLocaleOverride;
TCompareStringFunc gCompareOverride;
std::string gRemovableDrives;

// Code page 850 <-> Windows-1252, nearest plain form where the other page lacks a character.
const std::array<std::uint8_t, 256> kOemToAnsi = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xF8, 0xA3, 0xD8, 0xD7, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAE, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x5F, 0x5F, 0x5F, 0x7C, 0x2B, 0xC1, 0xC2, 0xC0, 0xA9, 0x2B, 0x7C, 0x2B, 0x2B, 0xA2, 0xA5, 0x2B,
    0x2B, 0x2D, 0x2D, 0x2B, 0x2D, 0x2B, 0xE3, 0xC3, 0x2B, 0x2B, 0x2D, 0x2D, 0x2B, 0x2D, 0x2B, 0xA4,
    0xF0, 0xD0, 0xCA, 0xCB, 0xC8, 0x5F, 0xCD, 0xCE, 0xCF, 0x2B, 0x2B, 0x5F, 0x5F, 0xA6, 0xCC, 0x5F,
    0xD3, 0xDF, 0xD4, 0xD2, 0xF5, 0xD5, 0xB5, 0xFE, 0xDE, 0xDA, 0xDB, 0xD9, 0xFD, 0xDD, 0xAF, 0xB4,
    0xAD, 0xB1, 0x20, 0xBE, 0xB6, 0xA7, 0xF7, 0xB8, 0xB0, 0xA8, 0xB7, 0xB9, 0xB3, 0xB2, 0x5F, 0xA0,
};
const std::array<std::uint8_t, 256> kAnsiToOem = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    0x5F, 0x5F, 0x27, 0x9F, 0x22, 0x2E, 0x5F, 0x5F, 0x5E, 0x5F, 0x53, 0x3C, 0x4F, 0x5F, 0x5A, 0x5F,
    0x5F, 0x27, 0x27, 0x22, 0x22, 0x2E, 0x2D, 0x2D, 0x20, 0x54, 0x73, 0x3E, 0x6F, 0x5F, 0x7A, 0x59,
    0xFF, 0xAD, 0xBD, 0x9C, 0xCF, 0xBE, 0xDD, 0xF5, 0xF9, 0xB8, 0xA6, 0xAE, 0xAA, 0xF0, 0xA9, 0xEE,
    0xF8, 0xF1, 0xFD, 0xFC, 0xEF, 0xE6, 0xF4, 0xFA, 0xF7, 0xFB, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,
    0xB7, 0xB5, 0xB6, 0xC7, 0x8E, 0x8F, 0x92, 0x80, 0xD4, 0x90, 0xD2, 0xD3, 0xDE, 0xD6, 0xD7, 0xD8,
    0xD1, 0xA5, 0xE3, 0xE0, 0xE2, 0xE5, 0x99, 0x9E, 0x9D, 0xEB, 0xE9, 0xEA, 0x9A, 0xED, 0xE8, 0xE1,
    0x85, 0xA0, 0x83, 0xC6, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0xD0, 0xA4, 0x95, 0xA2, 0x93, 0xE4, 0x94, 0xF6, 0x9B, 0x97, 0xA3, 0x96, 0x81, 0xEC, 0xE7, 0x98,
};

std::uint8_t Lower1252(std::uint8_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<std::uint8_t>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<std::uint8_t>(c + 0x20);
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

std::uint8_t Upper1252(std::uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<std::uint8_t>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

// The base letter (a-z) of a lower-case Windows-1252 letter, or 0 for a byte that is no letter.
char BaseLetter(std::uint8_t lower) {
  if (lower >= 'a' && lower <= 'z') return static_cast<char>(lower);
  switch (lower) {
    case 0x83: return 'f';  // f with hook
    case 0x9A: case 0xDF: return 's';
    case 0x9C: return 'o';
    case 0x9E: return 'z';
    case 0xAA: return 'a';
    case 0xB5: return 'm';
    case 0xBA: return 'o';
    case 0xE7: return 'c';
    case 0xF0: return 'd';
    case 0xF1: return 'n';
    case 0xFE: return 't';
    case 0xFD: case 0xFF: return 'y';
    default: break;
  }
  if (lower >= 0xE0 && lower <= 0xE6) return 'a';
  if (lower >= 0xE8 && lower <= 0xEB) return 'e';
  if (lower >= 0xEC && lower <= 0xEF) return 'i';
  if ((lower >= 0xF2 && lower <= 0xF6) || lower == 0xF8) return 'o';
  if (lower >= 0xF9 && lower <= 0xFC) return 'u';
  return 0;
}

// Sort weights of one byte: group (controls, punctuation, digits, letters), primary, accent, case.
using Weight = std::tuple<int, int, int, int>;

Weight WeightOf(std::uint8_t c) {
  std::uint8_t lower = Lower1252(c);
  if (char base = BaseLetter(lower)) {
    int accent = (lower >= 'a' && lower <= 'z') ? 0 : lower;
    return {3, base, accent, lower == c ? 0 : 1};
  }
  if (c >= '0' && c <= '9') return {2, c, 0, 0};
  if (c < 0x20 || c == 0x7F) return {0, c, 0, 0};
  return {1, c, 0, 0};
}

int BuiltInCompare(std::uint32_t flags, std::string_view a, std::string_view b) {
  bool ignoreCase = (flags & NORM_IGNORECASE) != 0;
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    Weight wa = WeightOf(static_cast<std::uint8_t>(a[i]));
    Weight wb = WeightOf(static_cast<std::uint8_t>(b[i]));
    if (ignoreCase) {
      std::get<3>(wa) = 0;
      std::get<3>(wb) = 0;
    }
    if (wa < wb) return CSTR_LESS_THAN;
    if (wb < wa) return CSTR_GREATER_THAN;
  }
  if (a.size() < b.size()) return CSTR_LESS_THAN;
  if (a.size() > b.size()) return CSTR_GREATER_THAN;
  return CSTR_EQUAL;
}

std::string Map(std::string_view text, const std::array<std::uint8_t, 256>& table) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(table[static_cast<std::uint8_t>(c)]);
  return out;
}

}  // namespace

std::uint32_t GetUserDefaultLCID() {
  std::lock_guard lock(gMutex);
  return gLocaleOverride.value_or(LCID_French);
}

void SetUserLocaleOverride(std::optional<std::uint32_t> lcid) {
  std::lock_guard lock(gMutex);
  gLocaleOverride = lcid;
}

int CompareStringA(std::uint32_t flags, std::string_view a, std::string_view b) {
  TCompareStringFunc compare;
  {
    std::lock_guard lock(gMutex);
    compare = gCompareOverride;
  }
  return compare ? compare(flags, a, b) : BuiltInCompare(flags, a, b);
}

void SetCompareStringOverride(TCompareStringFunc compare) {
  std::lock_guard lock(gMutex);
  gCompareOverride = std::move(compare);
}

std::uint8_t CharUpperA(std::uint8_t c) { return Upper1252(c); }

void CharUpperBuffA(std::string& text) {
  for (char& c : text) c = static_cast<char>(Upper1252(static_cast<std::uint8_t>(c)));
}

std::string OemToAnsi(std::string_view oem) { return Map(oem, kOemToAnsi); }
std::string AnsiToOem(std::string_view ansi) { return Map(ansi, kAnsiToOem); }

TDriveType GetDriveType(std::string_view drive) {
  if (drive.size() >= 2 && drive[1] == ':') {
    char letter = static_cast<char>(Upper1252(static_cast<std::uint8_t>(drive[0])));
    std::lock_guard lock(gMutex);
    if (gRemovableDrives.find(letter) != std::string::npos) return TDriveType::Removable;
  }
  return TDriveType::Fixed;
}

void SetRemovableDrives(std::string letters) {
  CharUpperBuffA(letters);
  std::lock_guard lock(gMutex);
  gRemovableDrives = std::move(letters);
}

std::int64_t GetDiskFreeSpace(std::string_view name) {
  std::error_code ec;
  std::filesystem::path p = ToFileSystemPath(name);
  if (p.empty()) p = ".";
  // The name may be a file still to be created: ask for the nearest folder that exists.
  while (!p.empty() && !std::filesystem::exists(p, ec)) {
    std::filesystem::path parent = p.parent_path();
    if (parent == p) break;
    p = parent.empty() ? std::filesystem::path(".") : parent;
  }
  struct statvfs st {};
  if (::statvfs(p.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

std::string GetTempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir && *dir) ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return FromFileSystemPath(path);
}

mode_t GetUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) != 0) continue;
    char* end = nullptr;
    const unsigned long mask = std::strtoul(line.c_str() + 6, &end, 8);
    if (end != line.c_str() + 6 && mask <= 0777) return static_cast<mode_t>(mask);
    break;
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

std::string CreateTempFile(std::string_view dir, std::string_view prefix) {
  std::string base = ToFileSystemPath(dir);
  if (!base.empty() && base.back() != '/') base += '/';
  std::string pattern = base + ToFileSystemPath(prefix) + "XXXXXX.tmp";
  int fd = ::mkstemps(pattern.data(), 4);
  if (fd < 0) return {};
  ::close(fd);
  return FromFileSystemPath(pattern);
}

TMemoryStatus GlobalMemoryStatus() {
  TMemoryStatus status;
  long pageSize = ::sysconf(_SC_PAGESIZE);
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long avail = ::sysconf(_SC_AVPHYS_PAGES);
  if (pageSize > 0 && pages > 0) status.TotalPhys = std::uint64_t(pages) * std::uint64_t(pageSize);
  if (pageSize > 0 && avail > 0) status.AvailPhys = std::uint64_t(avail) * std::uint64_t(pageSize);
  // MemAvailable counts reclaimable caches too, which is what "available" means to a caller.
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kb = 0;
  std::string unit;
  while (meminfo >> key >> kb >> unit) {
    if (key == "MemAvailable:") {
      status.AvailPhys = kb * 1024;
      break;
    }
  }
  return status;
}

std::string GetCurrentDir() {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::current_path(ec);
  return ec ? std::string() : FromFileSystemPath(p.string());
}

bool DirectoryExists(std::string_view name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::is_directory(ToFileSystemPath(name), ec);
}

bool FileExists(std::string_view name) {
  std::error_code ec;
  if (name.empty()) return false;
  auto status = std::filesystem::status(ToFileSystemPath(name), ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool ForceDirectories(std::string_view name) {
  if (name.empty()) return false;
  std::error_code ec;
  std::string path = ToFileSystemPath(name);
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

std::string ToFileSystemPath(std::string_view name) {
  std::string path(name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string FromFileSystemPath(std::string_view path) { return std::string(path); }

}  // namespace zip::platform
