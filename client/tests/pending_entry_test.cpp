#include "pending_entry.h"

#include <gtest/gtest.h>

namespace {

using client::Entry;

TEST(PendingEntry, TheHintShowsEveryFilledFieldOnItsLine) {
  struct Case {
    const char* name;
    Entry entry;
    std::string hint;
  };
  const Case cases[] = {
      {"every field",
       {"message", "10/12", "09:00", "Martin", "Paul", "Rappeler-- avant midi", "0102", "a1", "p@x.fr", "1 rue Haute"},
       "10/12 \xC3\xA0 09:00\rMartin Paul\r-----\rRappeler\ravant midi\r-----\r1 rue Haute\r-----\r0102 - p@x.fr\rIso : a1"},
      {"the motif's line ends in the space before the dashes",
       {"vi", "d", "h", "N", "P", "un -- deux", "", "", "", ""},
       "d \xC3\xA0 h\rN P\r-----\run \rdeux\r-----\r\rIso : "},
      {"kind, date and time only", {"rv", "d", "h", "", "", "", "", "", "", ""}, "d \xC3\xA0 h\r \r-----\r\rIso : "},
  };
  for (const Case& c : cases) EXPECT_EQ(client::RowHint(c.entry), c.hint) << c.name;
}

TEST(PendingEntry, IdsGoInTheReverseOrderOfSelectionEachWithASemicolonUnlessAlone) {
  EXPECT_EQ(client::IdsToSend({"a", "b", "c"}), "c;b;a;");
  EXPECT_EQ(client::IdsToSend({"a", "b"}), "b;a;");
  EXPECT_EQ(client::IdsToSend({"a"}), "a");
}

TEST(PendingEntry, CountsMissingOrEmptyAreZero) {
  struct Case {
    const char* line;
    const char* m;
    const char* r;
    const char* v;
  };
  const Case cases[] = {{"2-0-1", "2", "0", "1"}, {"0", "0", "0", "0"}, {"", "0", "0", "0"},
                        {"3--", "3", "0", "0"},   {"1-2-3-4", "1", "2", "3"}};
  for (const Case& c : cases) {
    const client::Counts counts = client::ParseCounts(c.line);
    EXPECT_EQ(counts.messages, c.m) << c.line;
    EXPECT_EQ(counts.rendezVous, c.r) << c.line;
    EXPECT_EQ(counts.visites, c.v) << c.line;
  }
}

TEST(PendingEntry, KindsAndListedLines) {
  EXPECT_EQ(client::KindImage("message"), 2);
  EXPECT_EQ(client::KindImage("rv"), 1);
  EXPECT_EQ(client::KindImage("vi"), 0);
  EXPECT_EQ(client::KindImage("RV"), 0);
  EXPECT_TRUE(client::IsListed(client::ParseEntryLine("rv|d|h")));
  EXPECT_FALSE(client::IsListed(client::ParseEntryLine("rv||h|n")));
  EXPECT_FALSE(client::IsListed(client::ParseEntryLine("rv|d")));
  EXPECT_EQ(client::ParseEntryLine("a|b|c|d|e|f|g|h|i|j|k").adresse, "j") << "fields beyond the tenth are ignored";
}

}  // namespace
