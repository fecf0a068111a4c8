#include "secretariat/reply_lines.h"

#include "os/codepage.h"

namespace secretariat {

std::vector<std::string> ReplyLines(std::string_view body) {
  std::vector<std::string> lines;
  if (body.empty()) {
    lines.emplace_back("0");
    return lines;
  }
  std::size_t start = 0;
  while (start < body.size()) {
    std::size_t end = start;
    while (end < body.size() && body[end] != '\r' && body[end] != '\n') ++end;
    std::string_view line = body.substr(start, end - start);
    if (const auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    lines.push_back(os::Cp1252ToUtf8(line));
    // CR LF is one break; LF CR, or CR CR, are two.
    if (end + 1 < body.size() && body[end] == '\r' && body[end + 1] == '\n')
      start = end + 2;
    else
      start = end + 1;
  }
  return lines;
}

}  // namespace secretariat
