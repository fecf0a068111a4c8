#include "mail/message_prescan.h"

#include <algorithm>
#include <cctype>

namespace mail::prescan {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerChar(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

Line LineAt(std::string_view raw, std::size_t pos) {
  const std::size_t lf = raw.find('\n', pos);
  Line line{pos, lf == std::string_view::npos ? raw.size() : lf, lf == std::string_view::npos ? raw.size() : lf + 1};
  if (line.end > line.begin && raw[line.end - 1] == '\r') --line.end;
  return line;
}

std::string_view CutAtCharacter(std::string_view text, std::size_t most) {
  if (text.size() <= most) return text;
  const auto follows = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
  std::size_t cut = most;
  while (cut > 0 && most - cut < 3 && follows(cut)) --cut;
  return text.substr(0, follows(cut) ? most : cut);
}

std::size_t ReadHeaderBlock(std::string_view raw, std::size_t pos, FieldReader& fields) {
  while (pos < raw.size()) {
    const Line line = LineAt(raw, pos);
    pos = line.next;
    if (line.end == line.begin) break;
    fields.Add(raw.substr(line.begin, line.end - line.begin));
  }
  return pos;
}

std::string WithoutComments(std::string_view s, bool blank) {
  std::string out;
  out.reserve(s.size());
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      if (depth == 0) out.append(s, i, 2);
      ++i;
    } else if (depth == 0 && c == '"') {
      quoted = !quoted;
      out += c;
    } else if (!quoted && c == '(') {
      ++depth;
    } else if (!quoted && depth > 0 && c == ')') {
      if (--depth == 0 && blank) out += ' ';
    } else if (depth == 0) {
      out += c;
    }
  }
  return out;
}

std::vector<std::string_view> SplitOutsideQuotes(std::string_view s, char separator) {
  std::vector<std::string_view> pieces;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
    } else if (s[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && s[i] == separator) {
      pieces.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(s.substr(std::min(start, s.size())));
  return pieces;
}

std::string Unquoted(std::string_view s) {
  s = TrimBlanks(s);
  if (s.size() < 2 || s.front() != '"') return std::string(s);
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (s[i] == '"') {
      break;
    } else {
      out += s[i];
    }
  }
  return out;
}

FieldValue ReadFieldValue(std::string_view value) {
  FieldValue f;
  const std::string text = WithoutComments(value);
  const auto pieces = SplitOutsideQuotes(text, ';');
  const std::string_view media = pieces.front();
  const auto slash = media.find('/');
  f.type = Lower(TrimBlanks(media.substr(0, slash)));
  if (slash != std::string_view::npos) f.subtype = Lower(TrimBlanks(media.substr(slash + 1)));
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const auto equals = pieces[i].find('=');
    if (equals == std::string_view::npos) continue;
    f.parameters.emplace_back(Lower(TrimBlanks(pieces[i].substr(0, equals))), Unquoted(pieces[i].substr(equals + 1)));
  }
  return f;
}

FieldReader PartFieldReader() { return FieldReader{"content-type", "content-transfer-encoding", "content-disposition"}; }

PartFields PartFieldsOf(const FieldReader& fields) {
  PartFields f;
  if (fields.Has(0)) f.type = fields.Value(0);
  f.encoding = fields.Value(1);
  f.disposition = fields.Value(2);
  return f;
}

namespace {

// The walk of ScanParts: the multiparts open around the line being read, and the part it is in.
class PartScan {
 public:
  PartScan(std::string_view raw, std::vector<Leaf>& leaves) : raw_(raw), leaves_(leaves) {}

  // Reads the body from bodyBegin of a multipart with that boundary; false when none of its
  // parts appears.
  bool Run(std::size_t bodyBegin, const std::string& boundary) {
    levels_.push_back(Level{PartFields(), "--" + boundary, bodyBegin, false});
    std::size_t pos = bodyBegin;
    while (pos < raw_.size() && !levels_.empty() && leaves_.size() < kMostParts) {
      const Line line = LineAt(raw_, pos);
      pos = line.next;
      bool close = false;
      if (const int k = DelimitedLevel(line, close); k >= 0) {
        EndPart(line.begin);
        while (levels_.size() > static_cast<std::size_t>(k) + 1) EndLevel(line.begin);
        if (close) {
          EndLevel(line.begin);
        } else {
          levels_.back().anyPart = true;
          header_.emplace(PartFieldReader());
          state_ = State::Header;
        }
        continue;
      }
      if (state_ != State::Header) continue;
      if (line.end > line.begin) {
        header_->Add(raw_.substr(line.begin, line.end - line.begin));
        continue;
      }
      // The part's header is complete: a multipart opens a level, anything else is a leaf.
      fields_ = PartFieldsOf(*header_);
      const FieldValue type = ReadFieldValue(fields_.type.value_or(std::string()));
      const std::string innerBoundary = type.Parameter("boundary");
      if (type.type == "multipart" && !innerBoundary.empty() && levels_.size() < kDeepestNesting) {
        levels_.push_back(Level{std::move(fields_), "--" + innerBoundary, line.next, false});
        state_ = State::Between;
      } else {
        bodyBegin_ = line.next;
        state_ = State::Body;
      }
    }
    EndPart(raw_.size());
    while (!levels_.empty()) EndLevel(raw_.size());
    return topHasParts_;
  }

 private:
  enum class State { Between, Header, Body };  // outside any part (preamble, epilogue), in a part
  struct Level {
    PartFields fields;      // the multipart's own (none for the message)
    std::string delimiter;  // "--" and the boundary
    std::size_t bodyBegin;
    bool anyPart;
  };

  // The innermost open level whose delimiter the line is, or -1.
  int DelimitedLevel(const Line& line, bool& close) const {
    const std::string_view text = raw_.substr(line.begin, line.end - line.begin);
    if (text.size() < 2 || text[0] != '-' || text[1] != '-') return -1;
    for (std::size_t k = levels_.size(); k-- > 0;) {
      const std::string& d = levels_[k].delimiter;
      if (text.compare(0, d.size(), d) != 0) continue;
      std::string_view rest = text.substr(d.size());
      close = rest.substr(0, 2) == "--";
      if (close) rest.remove_prefix(2);
      if (rest.find_first_not_of(" \t") == std::string_view::npos) return static_cast<int>(k);
    }
    return -1;
  }

  // Where the body before the delimiter line at lineBegin ends: its last line break belongs to
  // the delimiter.
  std::size_t BodyEndBefore(std::size_t lineBegin, std::size_t bodyBegin) const {
    if (lineBegin == raw_.size()) return raw_.size();
    std::size_t end = lineBegin;
    if (end > 0 && raw_[end - 1] == '\n') --end;
    if (end > 0 && raw_[end - 1] == '\r') --end;
    return std::max(end, bodyBegin);
  }

  void EndPart(std::size_t lineBegin) {
    if (state_ == State::Header) AddLeaf(PartFieldsOf(*header_), lineBegin, lineBegin, false);
    if (state_ == State::Body) AddLeaf(std::move(fields_), bodyBegin_, BodyEndBefore(lineBegin, bodyBegin_), false);
    header_.reset();
    state_ = State::Between;
  }

  // Ends the innermost level. A multipart none of whose parts appeared reads as text.
  void EndLevel(std::size_t lineBegin) {
    Level level = std::move(levels_.back());
    levels_.pop_back();
    state_ = State::Between;
    if (levels_.empty()) {
      topHasParts_ = level.anyPart;
    } else if (!level.anyPart) {
      AddLeaf(std::move(level.fields), level.bodyBegin, BodyEndBefore(lineBegin, level.bodyBegin), true);
    }
  }

  void AddLeaf(PartFields fields, std::size_t bodyBegin, std::size_t bodyEnd, bool asText) {
    if (leaves_.size() < kMostParts) leaves_.push_back(Leaf{std::move(fields), bodyBegin, bodyEnd, asText});
  }

  std::string_view raw_;
  std::vector<Leaf>& leaves_;
  std::vector<Level> levels_;
  State state_ = State::Between;
  std::optional<FieldReader> header_;
  PartFields fields_;  // of the part being read
  std::size_t bodyBegin_ = 0;
  bool topHasParts_ = false;
};

}  // namespace

bool ScanParts(std::string_view raw, std::size_t bodyBegin, const std::string& boundary, std::vector<Leaf>& leaves) {
  return PartScan(raw, leaves).Run(bodyBegin, boundary);
}

}  // namespace mail::prescan
