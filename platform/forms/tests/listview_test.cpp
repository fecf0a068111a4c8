#include "forms/listview.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QTreeWidget>
#include <QScreen>
#include <QToolTip>
#include <QWidget>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "forms/form.h"
#include "forms/imagelist.h"
#include "forms/test_support/user_input.h"

namespace forms {
namespace {

class FormsListView : public testing::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form = &app->CreateForm<TForm>();
    form->SetBounds(0, 0, 640, 480);
    list = &form->Create<TListView>("ListView1", form);
    list->SetBounds(0, 0, 600, 400);
    list->SetViewStyle(vsReport);
    list->SetRowSelect(true);
    list->Columns().Add().SetWidth(20);
    for (const char* c : {"Date", "Heure", "Nom"}) {
      TListColumn& col = list->Columns().Add();
      col.SetCaption(c);
      col.SetWidth(80);
    }
    list->OnSelectItem = [this](TObject*, TListItem* item, bool selected) {
      events.push_back((selected ? "+" : "-") + item->SubItems()[2]);
    };
    form->Show();
  }
  TListItem* AddRow(const std::string& name) {
    TListItem* item = list->Items().Add();
    item->SubItems().Add("10/12/2026");
    item->SubItems().Add("09:00");
    item->SubItems().Add(name);
    return item;
  }
  TForm* form = nullptr;
  TListView* list = nullptr;
  std::vector<std::string> events;
};

TEST_F(FormsListView, DeselectionsComeBeforeSelections) {
  list->SetMultiSelect(true);
  for (const char* n : {"a", "b", "c"}) AddRow(n);
  list->UserClickItem(0);
  list->UserClickItem(1, true);
  list->UserClickItem(2, true);
  EXPECT_EQ(events, (std::vector<std::string>{"+a", "+b", "+c"}));
  EXPECT_EQ(list->SelCount(), 3);
  events.clear();
  list->UserClickItem(1, true);  // control-click takes one row out
  list->UserClickItem(0);        // a plain click keeps only that row
  EXPECT_EQ(events, (std::vector<std::string>{"-b", "-c"}));
  events.clear();
  list->UserClickItem(2);
  EXPECT_EQ(events, (std::vector<std::string>{"-a", "+c"}));
  events.clear();
  list->UserClickEmpty();
  EXPECT_EQ(events, std::vector<std::string>{"-c"});
}

TEST_F(FormsListView, InASingleSelectionListSelectingFromCodeDeselectsTheOtherRow) {
  TListItem* a = AddRow("a");
  TListItem* b = AddRow("b");
  a->SetSelected(true);
  b->SetSelected(true);
  EXPECT_EQ(events, (std::vector<std::string>{"+a", "-a", "+b"}));
  EXPECT_EQ(list->Selected(), b);
  b->SetSelected(false);
  EXPECT_EQ(list->Selected(), nullptr);
}

TEST_F(FormsListView, ClearingOrDeletingRowsDoesNotRunOnSelectItem) {
  list->SetMultiSelect(true);
  for (const char* n : {"a", "b", "c", "d"}) AddRow(n);
  for (int i = 0; i < 4; ++i) list->Items()[i]->SetSelected(true);
  events.clear();
  // From the last selected row to the first, as "record as read" does.
  for (int i = list->Items().Count() - 1; i >= 0; --i)
    if (i != 1 && list->Items()[i]->Selected()) list->Items().Delete(i);
  EXPECT_TRUE(events.empty());
  ASSERT_EQ(list->Items().Count(), 1);
  EXPECT_EQ(list->Items()[0]->SubItems()[2], "b");
  list->Items().Clear();
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(list->Selected(), nullptr);
}

TEST_F(FormsListView, AHandlerMayEmptyTheListWhileSelectionsAreReported) {
  list->SetMultiSelect(true);
  for (const char* n : {"a", "b"}) AddRow(n);
  list->UserClickItem(0);
  list->OnSelectItem = [this](TObject*, TListItem*, bool selected) {
    if (!selected) list->Items().Clear();
  };
  list->UserClickItem(1);  // "-a" empties the list before "+b" would be told
  EXPECT_EQ(list->Items().Count(), 0);
}

TEST_F(FormsListView, RowColoursComeFromTheCustomDrawHandler) {
  for (const char* n : {"urgence", "dupont", "durand"}) AddRow(n);
  list->OnCustomDrawItem = [this](TObject*, TListItem* item, TCustomDrawState, bool& DefaultDraw) {
    list->Canvas().Font().SetColor(item->SubItems()[2] == "urgence" ? clRed : clBlack);
    list->Canvas().Brush().SetColor(item->Index() % 2 ? cl3DLight : clWhite);
    DefaultDraw = true;
  };
  const TItemColors c0 = list->ItemColors(list->Items()[0]);
  const TItemColors c1 = list->ItemColors(list->Items()[1]);
  EXPECT_EQ(c0.Text, clRed);
  EXPECT_EQ(c0.Background, clWhite);
  EXPECT_EQ(c1.Text, clBlack);
  EXPECT_EQ(c1.Background, cl3DLight);
  // The rows are painted with those colours.
  QWidget* viewport = list->NativeWidget()->findChild<QWidget*>("qt_scrollarea_viewport");
  ASSERT_NE(viewport, nullptr);
  const QImage shot = viewport->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  int y = 0;
  while (y < 200 && list->GetItemAt(150, y) != list->Items()[1]) ++y;  // the second row's top line
  ASSERT_LT(y, 200);
  EXPECT_EQ(shot.pixelColor(150, y + 2), QColor(227, 227, 227));
  EXPECT_EQ(shot.pixelColor(150, 2), QColor(255, 255, 255));
}

// What the window shows on screen now: the window system's copy of it, as drawn so far.
QImage OnScreen(TForm& form) {
  form.NativeWidget()->repaint();
  QCoreApplication::processEvents();
  return QGuiApplication::primaryScreen()->grabWindow(form.NativeWidget()->winId()).toImage();
}

TEST_F(FormsListView, ARowWhoseCellChangesIsDrawnAgainWholeInItsNewColours) {
  for (const char* n : {"dupont", "durand", "martin"}) AddRow(n);
  list->OnCustomDrawItem = [this](TObject*, TListItem* item, TCustomDrawState, bool&) {
    list->Canvas().Brush().SetColor(item->SubItems()[2] == "pris" ? TColor(0xCCCCCC) : clWhite);
  };
  QWidget* viewport = list->NativeWidget()->findChild<QWidget*>("qt_scrollarea_viewport");
  // A point of a row's Heure cell, right of its text, in the window.
  const QHeaderView* header = static_cast<QTreeWidget*>(list->NativeWidget())->header();
  const int x = header->sectionPosition(2) + header->sectionSize(2) - 4;
  const auto dateCellOf = [&](int row) {
    int y = 0;
    while (y < 200 && list->GetItemAt(150, y) != list->Items()[row]) ++y;
    return viewport->mapTo(form->NativeWidget(), QPoint(x, y + 3));
  };
  const QPoint second = dateCellOf(1), third = dateCellOf(2);
  ASSERT_EQ(OnScreen(*form).pixelColor(second), QColor(255, 255, 255));
  list->Items()[1]->SubItems().Put(2, "pris");
  QCoreApplication::processEvents();
  const QImage after = QGuiApplication::primaryScreen()->grabWindow(form->NativeWidget()->winId()).toImage();
  EXPECT_EQ(after.pixelColor(second), QColor(204, 204, 204)) << "the cells that kept their text turn grey too";
  // Repaint draws the rows again, not only the list's frame.
  list->OnCustomDrawItem = [this](TObject*, TListItem*, TCustomDrawState, bool&) {
    list->Canvas().Brush().SetColor(TColor(0xCCCCCC));
  };
  list->Repaint();
  const QImage repainted = QGuiApplication::primaryScreen()->grabWindow(form->NativeWidget()->winId()).toImage();
  EXPECT_EQ(repainted.pixelColor(third), QColor(204, 204, 204));
}

TEST_F(FormsListView, AHintShownOverARowStaysForTheHidePauseAndComesBackOnTheSameRow) {
  AddRow("dupont");
  form->NativeWidget()->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return form->NativeWidget()->isActiveWindow(); }));
  app->SetHintHidePause(15000);
  // As the client does: the row under the mouse gives the list its hint, shown at once.
  list->OnMouseMove = [this](TObject*, TShiftState, int X, int Y) {
    const std::string text = list->GetItemAt(X, Y) ? "dupont\r-----\rIso : 7" : "";
    if (text == list->Hint()) return;
    list->SetHint(text);
    if (text.empty()) app->CancelHint();
    else app->ActivateHint(list->ClientToScreen({X, Y}));
  };
  const auto shown = [] { return QToolTip::isVisible() && QToolTip::text().contains(QStringLiteral("dupont")); };
  testing::MoveMouseTo(*list, {40, 8});
  ASSERT_TRUE(shown());
  // The mouse rests on the row: the list's own tooltip handling comes after about a second.
  WaitFor([] { return false; }, 2500);
  EXPECT_TRUE(shown()) << "still up after the window system's tooltip delay";
  // Hidden (a key, a click...), it comes back when the mouse rests on the same row again.
  QToolTip::hideText();
  ASSERT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
  testing::MoveMouseTo(*list, {42, 8});
  EXPECT_TRUE(WaitFor(shown, 5000));
}

TEST_F(FormsListView, AColumnIsAtLeastAsWideAsItsCaptionAndItsFixedFormValues) {
  TListColumn& wideCaption = list->Columns().Add();
  wideCaption.SetCaption("Fax/Mail/Gsm");
  wideCaption.SetWidth(30);
  list->Columns()[1].SetWidth(20);
  list->Columns()[1].SetSample("28/12/2026");
  list->Columns()[2].SetWidth(20);
  list->Columns()[2].SetSample("23:59:59");
  TListItem* row = list->Items().Add();
  for (const char* text : {"28/12/2026", "23:59:59", "dupont", "06 12 34 56 78"}) row->SubItems().Add(text);
  list->Font().SetSize(14);  // a bigger font widens them again

  auto* tree = static_cast<QTreeWidget*>(list->NativeWidget());
  const QAbstractItemView* view = tree;
  for (int i : {1, 2, 4}) {
    SCOPED_TRACE(i);
    EXPECT_GE(tree->header()->sectionSize(i), tree->header()->sectionSizeHint(i)) << "the caption fits";
    if (i != 4) {
      EXPECT_GE(tree->header()->sectionSize(i), view->sizeHintForColumn(i)) << "the value fits";
    }
  }
  EXPECT_EQ(list->Columns()[1].Width(), 20) << "the design width stays what it was set to";
  EXPECT_EQ(tree->header()->sectionSize(3), 80) << "a column wide enough keeps its width";
  list->Columns()[2].SetWidth(0);
  EXPECT_TRUE(tree->isColumnHidden(2));
}

TEST_F(FormsListView, ActivateHintShowsTheHintOfTheControlUnderThePoint) {
  AddRow("a");
  list->SetHint("10/12/2026 à 09:00\rdupont");
  app->SetHintHidePause(15000);
  app->ActivateHint(list->ClientToScreen({40, 40}));
  EXPECT_EQ(app->ActiveHint(), "10/12/2026 à 09:00\rdupont");
  app->CancelHint();
  EXPECT_EQ(app->ActiveHint(), "");
}

TEST_F(FormsListView, RowsAreFoundUnderAPointAndTheListScrollsByPixels) {
  for (int i = 0; i < 60; ++i) AddRow("n" + std::to_string(i));
  TListItem* top = list->GetItemAt(30, 2);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->Index(), 0);
  EXPECT_EQ(list->GetItemAt(30, 5000), nullptr);
  list->Scroll(0, 100);
  EXPECT_EQ(list->TopPixel(), 100);
  TListItem* after = list->GetItemAt(30, 2);
  ASSERT_NE(after, nullptr);
  EXPECT_GT(after->Index(), 0);
  // The mouse moving over the list reaches OnMouseMove with the same coordinates.
  TPoint seen{-1, -1};
  list->OnMouseMove = [&](TObject*, TShiftState, int X, int Y) { seen = {X, Y}; };
  list->UserMouseMove(30, 2);
  EXPECT_EQ(seen, (TPoint{30, 2}));
}

TEST_F(FormsListView, SubItemsAndImagesShowInTheRow) {
  TImageList& images = form->Create<TImageList>("ImageList1");
  images.AddColor(clGreen);
  images.AddColor(clBlue);
  images.AddColor(clRed);
  list->SetSmallImages(&images);
  TListItem* row = AddRow("martin");
  row->SetImageIndex(2);
  row->SubItems().Put(0, "11/12/2026");
  EXPECT_EQ(row->ImageIndex(), 2);
  EXPECT_EQ(row->SubItems().ToVector(), (std::vector<std::string>{"11/12/2026", "09:00", "martin"}));
  row->SetImageIndex(9);  // beyond the list: no picture, no failure
  row->Delete();
  EXPECT_EQ(list->Items().Count(), 0);
}

TEST_F(FormsListView, ADoubleClickSelectsTheRowThenRunsOnDblClick) {
  AddRow("a");
  AddRow("b");
  std::vector<std::string> log;
  list->OnDblClick = [&](TObject*) { log.push_back("dbl " + list->Selected()->SubItems()[2]); };
  list->UserDblClickItem(1);
  EXPECT_EQ(events, std::vector<std::string>{"+b"});
  EXPECT_EQ(log, std::vector<std::string>{"dbl b"});
}

}  // namespace
}  // namespace forms
