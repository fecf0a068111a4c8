#include "secretariat/extrait_champ.h"

#include <gtest/gtest.h>

namespace {

using secretariat::ExtraitChamp;

TEST(ExtraitChamp, FieldsCountFromTwoAndAMissingFieldLeavesTheResult) {
  struct Case {
    const char* text;
    char separator;
    int index;
    const char* expected;  // starting from "before"
  };
  const Case cases[] = {
      {"3-0-1-", '-', 2, "3"},
      {"3-0-1-", '-', 3, "0"},
      {"3-0-1-", '-', 4, "1"},
      {"3-0-1-", '-', 5, "before"},   // beyond the separators
      {"3-0-1-", '-', 1, "before"},   // index 1 never matches
      {"3-0-1-", '-', 0, "before"},
      {"3-0-1-", '-', -4, "before"},
      {"a||c|", '|', 3, ""},          // an empty field is assigned, not skipped
      {"a||c|", '|', 4, "c"},
      {"a|b", '|', 3, "before"},       // text after the last separator is never returned
      {"", '|', 2, "before"},
      {"0", '-', 2, "before"},         // the counts line of an empty reply holds no separator
      {"0-", '-', 2, "0"},
      {"nom@example.org@", '@', 3, "example.org"},
      {"Mme Léa|Nîmes|", '|', 3, "Nîmes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " index " + std::to_string(c.index));
    std::string result = "before";
    ExtraitChamp(c.text, c.separator, c.index, result);
    EXPECT_EQ(result, c.expected);
  }
}

TEST(ExtraitChamp, ReturningFormStartsEmpty) {
  EXPECT_EQ(ExtraitChamp("message|10/12/2026|", '|', 7), "");
  EXPECT_EQ(ExtraitChamp("message|10/12/2026|", '|', 2), "message");
}

TEST(ExtraitChamp, ResultMayBeTheTextItself) {
  std::string line = "rv|09:00|Durand|";
  ExtraitChamp(line, '|', 4, line);
  EXPECT_EQ(line, "Durand");
}

}  // namespace
