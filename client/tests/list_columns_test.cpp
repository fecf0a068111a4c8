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

TEST_F(WindowTest, TheColumnThatTakesTheRemainingWidthCanBeBroughtIntoViewWhole) {
  f->Show();
  f->ajout("rv", "10/12/2026", "09:30", "Martin", "Paul", "Suivi", "0478000000", "7", "p@x.fr",
           "12 rue de la R\xC3\xA9publique");
  f->PageControl1->SetActivePageIndex(0);
  forms::TListView& list = *f->ListView1;
  const int address = list.Columns().Count() - 1;
  ASSERT_EQ(list.Columns()[address].Caption(), "Adresse");
  EXPECT_TRUE(forms::testing::ColumnCanBeSeenWhole(list, address, "12 rue")) << "at the window's design width";
  // A narrower window: the list scrolls to it, and every column stays whole.
  f->SetClientWidth(420);
  EXPECT_TRUE(forms::testing::ColumnCanBeSeenWhole(list, address, "12 rue"));
  for (int i = 1; i < address; ++i) {
    if (list.Columns()[i].Width() > 0) {
      EXPECT_TRUE(forms::testing::ColumnShowsWhole(list, i, "")) << i;
    }
  }
}

}  // namespace
