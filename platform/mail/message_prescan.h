#pragma once
// The pre-scan of a mail, ahead of vmime: its lines, the header fields the model reads
// (unfolded, each bounded), the structured values of those fields, and the structure of its
// parts found in one pass over its lines, however deep a sender nests them. Only the message
// model uses it.
#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mail::prescan {

// What a mail may hold before the rest of it is left unread. No real mail comes near these;
// they keep the time and memory of a reading bounded whatever a sender writes.
inline constexpr std::size_t kDeepestNesting = 32;        // multipart levels followed, the message's own included
inline constexpr std::size_t kMostParts = 1000;           // parts taken, in order
inline constexpr std::size_t kMostLines = 1 << 20;        // lines of text taken from all the parts
inline constexpr std::size_t kLongestFieldValue = 65536;  // bytes of one header field of the message kept
inline constexpr std::size_t kLongestPartFieldValue = 1024;  // bytes of one header field of a part given to vmime

bool IsBlank(char c);
char LowerChar(char c);
std::string Lower(std::string_view s);
bool EqualNoCase(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view s);

// One line of the raw text: [begin, end) without its CR LF or LF; next is where the next starts.
struct Line {
  std::size_t begin, end, next;
};

Line LineAt(std::string_view raw, std::size_t pos);

// The first `most` bytes of a text, or a few fewer, so that a UTF-8 character is not cut in two
// (which would make the whole text read as Windows-1252).
std::string_view CutAtCharacter(std::string_view text, std::size_t most);

// The first value of each of some header fields, unfolded (each continuation line joins with one
// blank), as written.
class FieldReader {
 public:
  explicit FieldReader(std::initializer_list<std::string_view> names) : names_(names), values_(names_.size()) {}

  // One line of the header block (not the empty line that ends it).
  void Add(std::string_view line) {
    if (!line.empty() && IsBlank(line[0])) {
      if (current_ >= 0) Append(*values_[static_cast<std::size_t>(current_)], TrimBlanks(line), " ");
      return;
    }
    current_ = -1;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = TrimBlanks(line.substr(0, colon));
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (values_[i] || !EqualNoCase(name, names_[i])) continue;
      values_[i].emplace();
      Append(*values_[i], TrimBlanks(line.substr(colon + 1)), "");
      current_ = static_cast<int>(i);
      return;
    }
  }

  std::string Value(std::size_t i) const { return values_[i].value_or(std::string()); }
  bool Has(std::size_t i) const { return values_[i].has_value(); }

 private:
  static void Append(std::string& value, std::string_view text, std::string_view joint) {
    if (text.empty() || value.size() >= kLongestFieldValue) return;
    if (!value.empty()) value.append(joint);
    value.append(CutAtCharacter(text, kLongestFieldValue - std::min(kLongestFieldValue, value.size())));
  }

  std::vector<std::string_view> names_;
  std::vector<std::optional<std::string>> values_;
  int current_ = -1;
};

// Reads the header block that starts at pos; returns where its body starts (after the empty
// line, or the end of the text when there is none).
std::size_t ReadHeaderBlock(std::string_view raw, std::size_t pos, FieldReader& fields);

// The text without its comments "(...)" (which nest), quoted strings and escapes kept; each
// comment leaves a blank where it stood, unless `blank` is false.
std::string WithoutComments(std::string_view s, bool blank = true);

// The parts of a structured value separated by `separator` outside quoted strings.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view s, char separator);

std::string Unquoted(std::string_view s);

// A Content-Type or Content-Disposition value: its first token(s) in lower case and its
// parameters. Comments, blanks and folding around the tokens do not matter.
struct FieldValue {
  std::string type, subtype;  // the disposition has only a type
  std::vector<std::pair<std::string, std::string>> parameters;  // names in lower case

  std::string Parameter(std::string_view name) const {
    for (const auto& [n, v] : parameters)
      if (n == name) return v;
    return {};
  }
};

FieldValue ReadFieldValue(std::string_view value);

// The fields of a part's header that are given to vmime, as written.
struct PartFields {
  std::optional<std::string> type;
  std::string encoding, disposition;
};

FieldReader PartFieldReader();
PartFields PartFieldsOf(const FieldReader& fields);

// A part as the pre-scan finds it: the fields vmime is given, where its raw body lies.
struct Leaf {
  PartFields fields;
  std::size_t bodyBegin, bodyEnd;
  bool asText;  // a multipart none of whose parts appears

  std::string ContentType() const { return fields.type.value_or("text/plain"); }  // as written
};

// The parts of a multipart body that starts at bodyBegin, with that boundary: every leaf of its
// tree, depth first, in order, read in one pass over its lines (every delimiter line is matched
// against the boundaries of all the multiparts open around it, so each byte is read once
// whatever the depth), no level followed deeper than kDeepestNesting, at most kMostParts. It
// decides the structure vmime is given; vmime reads the fields and decodes the bodies. False
// when none of its parts appears.
bool ScanParts(std::string_view raw, std::size_t bodyBegin, const std::string& boundary, std::vector<Leaf>& leaves);

}  // namespace mail::prescan
