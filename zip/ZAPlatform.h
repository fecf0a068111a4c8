#pragma once
// The few system services the engine needs, as this platform offers them: the user's locale
// and its character comparison and upper-casing, OEM (code page 850) and ANSI (Windows-1252)
// byte conversion, drive types, free space, the temporary folder and the memory status.
//
// Names inside the engine are UTF-8, as the file system spells them (this platform's code page);
// ToFileSystemPath only turns "\" into "/", FromFileSystemPath takes a path as it stands.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zip::platform {

inline constexpr std::uint32_t LCID_French = 1036;
inline constexpr std::uint32_t LCID_Turkish = 1055;

// The user's default locale: French unless a test says otherwise.
std::uint32_t GetUserDefaultLCID();
// Replaces the locale (nullopt: back to the default). Rebuild the collation tables afterwards
// (BuildCollationTables) for the masks to follow.
void SetUserLocaleOverride(std::optional<std::uint32_t> lcid);

inline constexpr std::uint32_t NORM_IGNORECASE = 1;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

// Compares two Windows-1252 strings the way the user's locale sorts them (letters by their base
// letter, then accent, then case; punctuation before digits before letters). Returns
// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN.
using TCompareStringFunc = std::function<int(std::uint32_t flags, std::string_view a,
                                             std::string_view b)>;
int CompareStringA(std::uint32_t flags, std::string_view a, std::string_view b);
// Lets a test put its own locale comparison in place (an empty function restores ours).
void SetCompareStringOverride(TCompareStringFunc compare);

// Upper-cases a Windows-1252 byte by the rules of that code page (the masks keep their own
// table for Turkish).
std::uint8_t CharUpperA(std::uint8_t c);
void CharUpperBuffA(std::string& text);

// Bytes of the OEM code page (850) to Windows-1252 and back, a character the other page lacks
// becoming its nearest plain form (or '_'). Engine names are UTF-8: ZAUnicode.h gives their OEM
// form.
std::string OemToAnsi(std::string_view oem);
std::string AnsiToOem(std::string_view ansi);

enum class TDriveType { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4,
                        CdRom = 5, RamDisk = 6 };
// The type of the drive a name starts on ("C:", "A:"). No drive is removable unless a test
// names it with SetRemovableDrives.
TDriveType GetDriveType(std::string_view drive);
void SetRemovableDrives(std::string letters);

// Free bytes available to the caller on the file system that holds the path (-1 when unknown).
std::int64_t GetDiskFreeSpace(std::string_view name);

// The user's temporary folder (with a trailing "/").
std::string GetTempPath();
// The process's file creation mask, read without changing it (the mask is shared by every thread,
// and one that creates a file while another swaps it gets the wrong mode): the "Umask:" line of
// /proc/self/status; without it (no /proc, an old kernel), set and put back at once.
mode_t GetUmask();

// Creates a new empty file with a unique name "<prefix>XXXXXX.tmp" in dir and returns its name.
// Empty when the file cannot be created.
std::string CreateTempFile(std::string_view dir, std::string_view prefix);

struct TMemoryStatus {
  std::uint64_t TotalPhys = 0;
  std::uint64_t AvailPhys = 0;
};
TMemoryStatus GlobalMemoryStatus();

// The process's current directory, as an engine name.
std::string GetCurrentDir();
bool DirectoryExists(std::string_view name);
bool FileExists(std::string_view name);
// Creates the folder and every missing parent; true when it exists afterwards.
bool ForceDirectories(std::string_view name);

// Engine name ("\" or "/") to file system path ("/") and back.
std::string ToFileSystemPath(std::string_view name);
std::string FromFileSystemPath(std::string_view path);

}  // namespace zip::platform
