// Hints as the user meets them with the mouse: a list whose rows each give their own hint, the
// way the programs' lists do (the row under the mouse sets the list's hint and shows it at once).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "app_fixture.h"
#include "forms/application.h"
#include "forms/buttons.h"
#include "forms/listview.h"
#include "forms/screen.h"
#include "forms/test_support/user_input.h"

namespace forms {
namespace {

using namespace std::chrono_literals;

class FormsHint : public testing::FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    list = &form->Create<TListView>("ListView1", form);
    list->SetBounds(0, 0, 500, 300);
    list->Columns().Add().SetWidth(200);
    for (int i = 0; i < 60; ++i) list->Items().Add()->SetCaption("ligne " + std::to_string(i));
    list->OnMouseMove = [this](TObject*, TShiftState, int X, int Y) {
      TListItem* row = list->GetItemAt(X, Y);
      if (!row) {
        list->SetHint("");
        app->CancelHint();
        return;
      }
      app->SetHintHidePause(15000);
      const std::string text = HintOf(row->Index());
      if (text != list->Hint()) {
        list->SetHint(text);
        app->ActivateHint(Screen->CursorPos());
      }
    };
    button = &form->Create<TButton>("Button1", form);
    button->SetBounds(10, 400, 100, 30);
  }
  std::string HintOf(int row) const { return row == longRow ? longHint : "Iso : " + std::to_string(row); }
  // A point in the middle of the row.
  TPoint OnRow(int row) const {
    TPoint p = testing::RowPoint(*list, row);
    p.X = 60;
    return p;
  }
  // Serves the window for `d`, the mouse resting where it is.
  static void Rest(std::chrono::milliseconds d) {
    const auto until = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < until) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(5ms);
    }
  }
  // Serves the window until the hint shown holds `text`, for at most `limit`.
  static bool HintComesUp(const std::string& text, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (testing::ShownHint().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  TListView* list = nullptr;
  TButton* button = nullptr;
  int longRow = -1;
  std::string longHint;
};

std::string Motif(std::size_t size) {
  const std::string words = "Rappeler le patient pour le suivi de sa tension et de son traitement. ";
  std::string s;
  while (s.size() < size) s += words;
  return s;
}

TEST_F(FormsHint, ALongHintIsCutToAFewLinesAndNeverCoversThePointer) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  struct Case {
    const char* name;
    std::string hint;
  };
  const Case cases[] = {
      {"a 6000-character motif", "10/12/2026 \xC3\xA0 09:30\rMartin Paul\r-----\r" + Motif(6000) + "\r-----\rIso : 7"},
      {"a megabyte without a blank", std::string(1 << 20, 'x')},
      {"a megabyte of short lines", [] {
         std::string s;
         while (s.size() < (1u << 20)) s += "ligne\r";
         return s;
       }()},
  };
  // The row near the top of the screen, in its middle, then near its bottom.
  for (const int formTop : {0, screen.height() / 2 - 40, screen.height() - 120}) {
    form->SetTop(formTop);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(formTop));
      app->CancelHint();
      list->SetHint("");
      longRow = 2;
      longHint = c.hint;
      testing::MoveMouseTo(*list, OnRow(1));
      testing::MoveMouseTo(*list, OnRow(2));
      const std::string shown = testing::ShownHint();
      ASSERT_FALSE(shown.empty());
      EXPECT_LE(std::count(shown.begin(), shown.end(), '\n'), 24) << "a few lines";
      EXPECT_NE(shown.find("\xE2\x80\xA6"), std::string::npos) << "cut with an ellipsis";
      if (c.hint.find(' ') != std::string::npos) {
        // Rows end at blanks: every word shown is one of the text's, whole.
        std::set<std::string> given;
        std::istringstream in(c.hint);
        for (std::string word; in >> word;) given.insert(word);
        std::istringstream words(shown);
        for (std::string word; words >> word;) {
          if (word.find("\xE2\x80\xA6") != std::string::npos) continue;
          EXPECT_TRUE(given.count(word)) << word;
        }
      }
      const TRect tip = testing::ShownHintBounds();
      const TPoint pointer = Screen->CursorPos();
      ASSERT_GT(tip.Height(), 0);
      EXPECT_LE(tip.Width(), screen.width() / 2);
      // The pointer's image, from its hot spot down and to the right.
      const TRect arrow{pointer.X, pointer.Y, pointer.X + 16, pointer.Y + 16};
      EXPECT_FALSE(arrow.Left < tip.Right && tip.Left < arrow.Right && arrow.Top < tip.Bottom && tip.Top < arrow.Bottom)
          << "the pointer at " << pointer.X << "," << pointer.Y << " is under the hint " << tip.Left << "," << tip.Top
          << " " << tip.Width() << "x" << tip.Height();
    }
  }
}

TEST_F(FormsHint, AHintHiddenByAQuickOutAndBackComesBackWhenThePointerRestsOnTheRow) {
  testing::MoveMouseTo(*list, OnRow(3));
  ASSERT_EQ(testing::ShownHint(), "Iso : 3");
  Rest(1000ms);  // resting on the row, as the user reads the hint
  ASSERT_EQ(testing::ShownHint(), "Iso : 3");
  // Out of the list and back at once: the hint, on its way out, goes.
  testing::MoveMouseTo(*button, {20, 10});
  testing::MoveMouseTo(*list, OnRow(3));
  Rest(500ms);
  // Resting on the row brings it back.
  EXPECT_TRUE(HintComesUp("Iso : 3", 3000ms));
}

TEST_F(FormsHint, NoRowsHintShowsOverTheListsScrollBar) {
  testing::MoveMouseTo(*list, OnRow(3));
  ASSERT_EQ(testing::ShownHint(), "Iso : 3");
  // The vertical scroll bar, right of the rows.
  testing::MoveMouseTo(*list, {list->Width() - 8, 100});
  Rest(1500ms);  // past the window system's tooltip delay, the pointer resting there
  EXPECT_EQ(testing::ShownHint(), "") << "the row's hint is gone";
}

}  // namespace
}  // namespace forms

