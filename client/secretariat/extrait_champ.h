#pragma once
// One field of a line of the secretariat's replies. Fields are counted from 2: index 2 is the
// text before the first separator, index k the text between separators k-2 and k-1. Text after
// the last separator is never a field, which is why callers append one separator to the line
// (line + "|", counts + "-", address + "@").
//
// When the line has no such field (index 1 or less, or beyond the separators), `result` is left
// as it was: a caller that wants an empty text then passes an empty one.
#include <string>
#include <string_view>

namespace secretariat {

void ExtraitChamp(std::string_view text, char separator, int index, std::string& result);

// The same, starting from an empty result.
std::string ExtraitChamp(std::string_view text, char separator, int index);

}  // namespace secretariat
