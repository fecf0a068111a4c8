#pragma once
// The engine's English message table and the table that maps each error code to its message.
#include <array>
#include <cstdint>
#include <string_view>

namespace zip {

inline constexpr int ZAMessageCount = 48;
inline constexpr int ZACodeCount = 75;

struct TZACodeEntry {
  std::int32_t Code;
  std::int32_t MessageIndex;  // -1: the code has no message
};

// Slots 0..33 hold the original texts, 34..42 those of the engine's own codes (70..79), 43..47
// those of damaged archives and refused writes (80..84).
extern const std::array<std::string_view, ZAMessageCount> ZAMessages;
extern const std::array<TZACodeEntry, ZACodeCount> ZACodes;

}  // namespace zip

namespace zip {

// Texts of the built-in dialogs.
inline constexpr std::string_view SConfirmOverwrite = "Overwrite file \"%s\" with \"%s\"";       // 65009
inline constexpr std::string_view SPasswordTitle = "Password for \"%s\"";                       // 65010
inline constexpr std::string_view SPasswordPrompt = "Enter password: ";                         // 65011
inline constexpr std::string_view SRequestBlankDisk = "Please insert a blank disk #%d";         // 65012
inline constexpr std::string_view SRequestFirstDisk = "Please insert the first disk";           // 65013
inline constexpr std::string_view SRequestLastDisk = "Please insert the last disk";             // 65014
inline constexpr std::string_view SRequestMiddleDisk = "Please insert disk #%d";                // 65015
inline constexpr std::string_view SDiskFull =
    "Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk "
    "or find another blank disk";                                                                // 65016
inline constexpr std::string_view SProcessFileFailure =
    "%s. File processing error, possibly disk is full";                                         // 65017
inline constexpr std::string_view SFileNotFoundOnDisk =
    "File '%s' not found on inserted disk. Please insert last disk with required file";          // 65018

}  // namespace zip
