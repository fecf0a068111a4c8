// The columns of the pending list, the mail list and the agenda, with the desktop's font: each
// shown column holds its caption and the fixed-format values (dates, times) it lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/test_support/user_input.h"
#include "window_fixture.h"

namespace {

using client_test::WindowTest;

TEST_F(WindowTest, EveryShownColumnHoldsItsCaptionAndItsDatesAndTimesWhole) {
  struct Case {
    forms::TListView* list;
    std::vector<std::pair<int, std::string>> values;  // column, a value it shows
  };
  const Case cases[] = {
      {f->ListView1, {{1, "28/12/2026"}, {2, "23:59"}}},
      {f->ListView2, {{2, "28/12/2026"}, {3, "23:59:59"}}},
      {f->ListView3, {{1, "23:59"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list->Name());
    for (int i = 1; i < c.list->Columns().Count(); ++i) {
      if (c.list->Columns()[i].Width() == 0 || c.list->Columns()[i].AutoSize()) continue;
      EXPECT_TRUE(forms::testing::ColumnShowsWhole(*c.list, i, "")) << c.list->Columns()[i].Caption();
    }
    for (const auto& [column, value] : c.values)
      EXPECT_TRUE(forms::testing::ColumnShowsWhole(*c.list, column, value)) << c.list->Columns()[column].Caption();
  }
}

}  // namespace
