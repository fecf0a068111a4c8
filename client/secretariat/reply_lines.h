#pragma once
// The lines of a secretariat reply (and of the updater's page): the body is cut at every CR, LF
// or CR LF; a NUL ends the text of its line early; an empty body is the single line "0".
// The body is Windows-1252; the lines come out in UTF-8.
#include <string>
#include <string_view>
#include <vector>

namespace secretariat {

// The lines of `body`, each converted to UTF-8.
std::vector<std::string> ReplyLines(std::string_view body);

// Any list of lines with Clear() and Add(text): a memo's lines, a vector adaptor, ...
template <class Lines>
concept LineList = requires(Lines& lines, std::string text) {
  lines.Clear();
  lines.Add(text);
};

// Clears the memo and fills it with the lines of the stream's bytes.
template <LineList Lines>
void LoadMemoFromMemoryStream(Lines& memo, std::string_view stream) {
  memo.Clear();
  for (auto& line : ReplyLines(stream)) memo.Add(std::move(line));
}

inline void LoadMemoFromMemoryStream(std::vector<std::string>& memo, std::string_view stream) {
  memo = ReplyLines(stream);
}

}  // namespace secretariat
