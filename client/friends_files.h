#pragma once
// The two friends lists on disk: "base.ami" (addresses, or "@" and a domain) and "sujet.ami"
// (subject words), beside the executable. One entry per line, each line ended by CR LF, text
// in Windows-1252.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace client {

inline constexpr const char* kFriendsFile = "base.ami";
inline constexpr const char* kFriendSubjectsFile = "sujet.ami";

// An input or output error on a list file; the message names the system error number.
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int code);
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// The entries of the file, in file order; nothing when the file does not exist. Lines end at
// CR, LF or CR LF; an empty line is an empty entry; a last line without an end is an entry.
// Throws EInOutError when the file exists but cannot be read.
std::optional<std::vector<std::string>> ReadFriendsFile(const std::string& path);

// Rewrites the file: the entries go to a new file beside it, which then replaces the old one
// in one step, so the old list stays whole until the new one is complete. An empty list leaves
// no file. Throws EInOutError when the new file cannot be written or put in place; the old
// file is then as it was.
void WriteFriendsFile(const std::string& path, const std::vector<std::string>& entries);

}  // namespace client
