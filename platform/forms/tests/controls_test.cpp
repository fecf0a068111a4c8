// The controls' properties and events, driven the way the user and the program drive them.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPalette>
#include <QImage>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "shown_text.h"
#include "forms/buttons.h"
#include "forms/datetimepicker.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/lists.h"
#include "forms/menus.h"
#include "forms/pagecontrol.h"
#include "forms/panels.h"
#include "forms/progressbar.h"
#include "forms/spinedit.h"
#include "forms/statusbar.h"
#include "forms/stringgrid.h"
#include "forms/timer.h"
#include "forms/test_support/user_input.h"
#include "forms/trayicon.h"

namespace forms {
namespace {

class FormsControls : public testing::FormTest {};

TEST_F(FormsControls, ACheckBoxClickTogglesThenRunsOnClickAndCodeRunsItOnlyOnAChange) {
  TCheckBox& box = form->Create<TCheckBox>("message_ov", form);
  std::vector<bool> seen;
  box.OnClick = [&](TObject*) { seen.push_back(box.Checked()); };
  box.UserClick();
  box.UserClick();
  box.SetChecked(true);
  box.SetChecked(true);  // no change, no click
  box.SetChecked(false);
  EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
  box.SetEnabled(false);
  box.UserClick();
  EXPECT_FALSE(box.Checked());
  EXPECT_EQ(seen.size(), 4u);
}

TEST_F(FormsControls, CoupledCheckBoxesSeeEachOthersStateFromTheirHandlers) {
  // The pair of the settings page: unticking one unticks the other, ticking the other
  // ticks the first.
  TCheckBox& messages = form->Create<TCheckBox>("message_ov", form);
  TCheckBox& urgent = form->Create<TCheckBox>("urgent_mess", form);
  messages.OnClick = [&](TObject*) {
    if (!messages.Checked()) urgent.SetChecked(false);
  };
  urgent.OnClick = [&](TObject*) {
    if (urgent.Checked()) messages.SetChecked(true);
  };
  urgent.UserClick();
  EXPECT_TRUE(messages.Checked());
  messages.UserClick();
  EXPECT_FALSE(urgent.Checked());
  messages.UserClick();
  EXPECT_FALSE(urgent.Checked());
}

TEST_F(FormsControls, RadioButtonsOfOneParentExcludeEachOtherAndCanBeUncheckedFromCode) {
  TPanel& panel = form->Create<TPanel>("Panel1", form);
  TRadioButton& a = form->Create<TRadioButton>("a", &panel);
  TRadioButton& b = form->Create<TRadioButton>("b", &panel);
  TRadioButton& elsewhere = form->Create<TRadioButton>("c", form);
  std::vector<std::string> clicks;
  for (TRadioButton* r : {&a, &b, &elsewhere}) r->OnClick = [&clicks, r](TObject*) { clicks.push_back(r->Name()); };
  elsewhere.SetChecked(true);
  a.UserClick();
  b.UserClick();
  b.UserClick();  // already checked: stays, no click
  EXPECT_FALSE(a.Checked());
  EXPECT_TRUE(b.Checked());
  EXPECT_TRUE(elsewhere.Checked());  // another parent, another group
  b.SetChecked(false);
  EXPECT_FALSE(b.Checked());
  EXPECT_EQ(clicks, (std::vector<std::string>{"c", "a", "b"}));
}

TEST_F(FormsControls, APasswordBoxShowsItsCharacterForEachOneTyped) {
  TMaskEdit& box = form->Create<TMaskEdit>("MaskEdit2", form);
  auto* line = static_cast<QLineEdit*>(box.NativeWidget());
  box.SetPasswordChar('*');
  box.UserType("s\xC3\xA9" "1");
  EXPECT_EQ(line->displayText(), QStringLiteral("***")) << "one star per character, not per byte";
  EXPECT_EQ(box.Text(), "s\xC3\xA9" "1");
  box.SetPasswordChar('#');
  EXPECT_EQ(line->displayText(), QStringLiteral("###"));
  box.SetPasswordChar('\0');
  EXPECT_EQ(line->displayText(), QString::fromUtf8("s\xC3\xA9" "1"));
  box.SetPasswordChar('*');
  box.SetText("");
  EXPECT_EQ(line->displayText(), QString());
}

TEST_F(FormsControls, AnEditRunsOnChangeForEveryTypedKeyAndForEachChangeFromCode) {
  TMaskEdit& visible = form->Create<TMaskEdit>("MaskEdit1", form);
  TEdit& saved = form->Create<TEdit>("pass_ov", form);
  visible.SetPasswordChar('*');
  int changes = 0;
  visible.OnChange = [&](TObject*) {
    ++changes;
    saved.SetText(visible.Text());
  };
  visible.UserType("sé1");
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(saved.Text(), "sé1");
  visible.SetText("sé1");  // the same text: nothing changes
  EXPECT_EQ(changes, 3);
  visible.SetText("");
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(saved.Text(), "");
  EXPECT_EQ(static_cast<QLineEdit*>(visible.NativeWidget())->echoMode(), QLineEdit::Password);
  saved.SetReadOnly(true);
  saved.UserType("x");
  EXPECT_EQ(saved.Text(), "");
}

TEST_F(FormsControls, MemoLinesAppendedInOneChangeAreThoseAddedOneByOne) {
  TMemo& memo = form->Create<TMemo>("Memo1", form);
  int changes = 0;
  memo.OnChange = [&](TObject*) { ++changes; };
  memo.AppendLines("");
  EXPECT_EQ(memo.Lines().Count(), 0);
  memo.AppendLines("a\r\nb");
  memo.AppendLines("\r\nc\rd\n");
  memo.Lines().Add("e");
  memo.AppendLines("f");
  EXPECT_EQ(memo.Lines().ToVector(), (std::vector<std::string>{"a", "b", "", "c", "d", "e", "f"}));
  EXPECT_EQ(changes, 4);
}

TEST_F(FormsControls, MemoLinesCountLikeTheFrameworksAndTextUsesCrLf) {
  TMemo& memo = form->Create<TMemo>("Memo1", form);
  EXPECT_EQ(memo.Lines().Count(), 0);
  memo.Lines().Add("0");
  EXPECT_EQ(memo.Lines().Count(), 1);
  EXPECT_EQ(memo.Text(), "0\r\n");
  memo.Lines().Add("");
  memo.Lines().Add("OK");
  EXPECT_EQ(memo.Lines().ToVector(), (std::vector<std::string>{"0", "", "OK"}));
  memo.Lines().Delete(2);
  memo.Lines().Insert(0, "first");
  memo.Lines().Put(1, "zero");
  EXPECT_EQ(memo.Lines().ToVector(), (std::vector<std::string>{"first", "zero", ""}));
  memo.SetText("a\rb\r\nc\nlast");
  EXPECT_EQ(memo.Lines().ToVector(), (std::vector<std::string>{"a", "b", "c", "last"}));
  memo.Lines().Delete(3);
  memo.Lines().Delete(0);
  EXPECT_EQ(memo.Lines().ToVector(), (std::vector<std::string>{"b", "c"}));
  EXPECT_THROW(memo.Lines().Strings(2), std::out_of_range);
  memo.Lines().Clear();
  EXPECT_EQ(memo.Lines().Count(), 0);
  // A rich-text box has lines of the same kind, and is not a memo.
  TRichEdit& rich = form->Create<TRichEdit>("RichEdit1", form);
  rich.Lines().SetText("x\r\ny\r\n");
  EXPECT_EQ(rich.Lines().Count(), 2);
  TComponent* asComponent = &rich;
  EXPECT_EQ(dynamic_cast<TMemo*>(asComponent), nullptr);
  TComponent* mask = &form->Create<TMaskEdit>("m", form);
  EXPECT_EQ(dynamic_cast<TEdit*>(mask), nullptr);
}

TEST_F(FormsControls, ASortedListBoxKeepsCaseInsensitiveOrderAndItsSelectionFollowsItsItem) {
  TListBox& list = form->Create<TListBox>("ListBox3", form);
  list.SetSorted(true);
  for (const char* s : {"zoe@b.fr", "@Orange.fr", "alice@a.fr", "Bob@c.fr", "@free.fr"}) list.Items().Add(s);
  EXPECT_EQ(list.Items().ToVector(),
            (std::vector<std::string>{"@free.fr", "@Orange.fr", "alice@a.fr", "Bob@c.fr", "zoe@b.fr"}));
  list.SetItemIndex(3);  // Bob
  EXPECT_EQ(list.Items().Add("Ann@x.fr"), 3);
  EXPECT_EQ(list.ItemIndex(), 4);
  EXPECT_EQ(list.Items()[list.ItemIndex()], "Bob@c.fr");
  list.Items().Delete(0);
  EXPECT_EQ(list.Items()[list.ItemIndex()], "Bob@c.fr");
  list.Items().Delete(list.ItemIndex());
  EXPECT_EQ(list.ItemIndex(), -1);
  list.SetItemIndex(99);  // outside: ignored
  EXPECT_EQ(list.ItemIndex(), -1);
}

TEST_F(FormsControls, AListBoxRunsOnClickForTheUsersSelectionOnly) {
  TListBox& list = form->Create<TListBox>("ListBox4", form);
  list.Items().SetText("a\r\nb\r\nc\r\n");
  std::vector<int> clicks;
  list.OnClick = [&](TObject*) { clicks.push_back(list.ItemIndex()); };
  list.SetItemIndex(1);
  list.Items().Add("d");
  list.UserClickItem(2);
  list.UserClickItem(-1);
  EXPECT_EQ(clicks, (std::vector<int>{2, -1}));
}

TEST_F(FormsControls, AnOwnerDrawnListBoxPaintsEachRowThroughOnDrawItem) {
  TListBox& list = form->Create<TListBox>("ListBox3", form);
  list.SetBounds(0, 0, 200, 200);
  list.SetStyle(lbOwnerDrawFixed);
  list.Items().SetText("a\r\nb\r\nc\r\n");
  list.SetItemIndex(1);
  std::vector<std::pair<int, bool>> drawn;
  list.OnDrawItem = [&](TObject*, int Index, TRect Rect, TOwnerDrawState State) {
    drawn.emplace_back(Index, (State & odSelected) != 0);
    list.Canvas().Brush().SetColor(RGB(234, 220, 160));
    list.Canvas().FillRect(Rect);
    list.Canvas().Font().SetStyle(fsBold);
    list.Canvas().TextOut(Rect.Left, Rect.Top, list.Items()[Index]);
  };
  const QImage shot = list.NativeWidget()->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  std::sort(drawn.begin(), drawn.end());
  EXPECT_EQ(drawn, (std::vector<std::pair<int, bool>>{{0, false}, {1, true}, {2, false}}));
  EXPECT_EQ(shot.pixelColor(150, 4), QColor(234, 220, 160));  // the handler's fill
}

TEST_F(FormsControls, AComboBoxSelectsByIndexAndReportsTheUsersPick) {
  TComboBox& combo = form->Create<TComboBox>("ComboBox1", form);
  combo.SetStyle(csDropDownList);
  combo.Items().SetText("un\r\ndeux\r\n");
  EXPECT_EQ(combo.ItemIndex(), -1);
  int changes = 0;
  combo.OnChange = [&](TObject*) { ++changes; };
  combo.SetItemIndex(1);
  EXPECT_EQ(combo.Text(), "deux");
  EXPECT_EQ(changes, 0);
  combo.UserSelect(0);
  EXPECT_EQ(combo.ItemIndex(), 0);
  EXPECT_EQ(changes, 1);
  combo.SetItemIndex(5);
  EXPECT_EQ(combo.ItemIndex(), 0);
  combo.SetItemIndex(-1);
  EXPECT_EQ(combo.ItemIndex(), -1);
}

TEST_F(FormsControls, ASpinEditKeepsItsValueWithinItsBounds) {
  TSpinEdit& spin = form->Create<TSpinEdit>("SpinEdit1", form);
  spin.SetValue(-123456);  // no bounds yet
  EXPECT_EQ(spin.Value(), -123456);
  spin.SetMinValue(1);
  spin.SetMaxValue(4);
  struct Case {
    const char* typed;
    int value;
  } cases[] = {{"3", 3}, {"9", 4}, {"0", 1}, {"abc", 1}, {" 2 ", 2}, {"", 1}};
  for (const Case& c : cases) {
    spin.UserEnterText(c.typed);
    EXPECT_EQ(spin.Value(), c.value) << c.typed;
  }
}

TEST_F(FormsControls, ASpinEditTakesAnyTypedTextAndBringsItWithinItsBoundsOnLeaving) {
  TSpinEdit& spin = form->Create<TSpinEdit>("SpinEdit1", form);
  TEdit& next = form->Create<TEdit>("Edit1", form);
  next.SetTop(40);
  spin.SetMinValue(1);
  spin.SetMaxValue(4);
  spin.SetValue(2);
  struct Case {
    const char* typed;
    int value;
    const char* shown;
  } cases[] = {{"9", 4, "4"}, {"3", 3, "3"}, {"0", 1, "1"}, {"abc", 1, "1"}, {"-7", 1, "1"}, {"12", 4, "4"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    testing::LeaveControl(next, spin);  // Tab into the box selects its text
    testing::TypeKeys(spin, c.typed);
    EXPECT_EQ(static_cast<QAbstractSpinBox*>(spin.NativeWidget())->text().toStdString(), c.typed)
        << "every key is taken";
    EXPECT_EQ(spin.Value(), c.value) << "read as the box shows it, before leaving too";
    testing::LeaveControl(spin, next);
    EXPECT_EQ(spin.Value(), c.value);
    EXPECT_EQ(static_cast<QAbstractSpinBox*>(spin.NativeWidget())->text().toStdString(), c.shown);
  }
  // Enter reads the box too.
  testing::LeaveControl(next, spin);
  testing::TypeKeys(spin, "7");
  testing::PressKey(spin, testing::Key::Enter);
  EXPECT_EQ(spin.Value(), 4);
}

TEST_F(FormsControls, APageControlShowsOnePageAtATimeAndTellsThePages) {
  TPageControl& pages = form->Create<TPageControl>("PageControl1", form);
  std::vector<std::string> log;
  std::vector<TTabSheet*> sheets;
  for (int i = 0; i < 3; ++i) {
    TTabSheet& s = form->Create<TTabSheet>("TabSheet" + std::to_string(i + 1), &pages);
    s.OnShow = [&log, &s](TObject*) { log.push_back("show " + s.Name()); };
    s.OnHide = [&log, &s](TObject*) { log.push_back("hide " + s.Name()); };
    sheets.push_back(&s);
  }
  EXPECT_EQ(pages.ActivePageIndex(), 0);
  pages.SetActivePageIndex(2);
  pages.SetActivePageIndex(2);
  pages.SetActivePageIndex(7);
  pages.SetActivePage(sheets[1]);
  EXPECT_EQ(log, (std::vector<std::string>{"hide TabSheet1", "show TabSheet3", "hide TabSheet3", "show TabSheet2"}));
  EXPECT_EQ(pages.ActivePage(), sheets[1]);
  EXPECT_EQ(sheets[2]->PageIndex(), 2);
}

TEST_F(FormsControls, TheWheelOverAScrollBoxGoesToItsHandlersNotchByNotchAndScrollsNothingByItself) {
  TScrollBox& box = form->Create<TScrollBox>("ScrollBox3", form);
  box.SetBounds(0, 0, 300, 200);
  TEdit& far = form->Create<TEdit>("far", &box);
  far.SetBounds(10, 900, 100, 20);  // the contents reach below the box
  std::vector<std::string> notches;
  box.OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool&) {
    notches.push_back("down");
    box.VertScrollBar().SetPosition(box.VertScrollBar().Position() + 10);
  };
  box.OnMouseWheelUp = [&](TObject*, TShiftState, TPoint, bool&) {
    notches.push_back("up");
    box.VertScrollBar().SetPosition(box.VertScrollBar().Position() - 10);
  };
  box.UserWheel(-3);
  EXPECT_EQ(box.VertScrollBar().Position(), 30);
  box.UserWheel(1);
  EXPECT_EQ(box.VertScrollBar().Position(), 20);
  EXPECT_EQ(notches, (std::vector<std::string>{"down", "down", "down", "up"}));
  box.OnMouseWheelDown = nullptr;
  box.UserWheel(-2);  // no handler: the box stays where it is
  EXPECT_EQ(box.VertScrollBar().Position(), 20);
  box.VertScrollBar().SetPosition(-50);
  EXPECT_EQ(box.VertScrollBar().Position(), 0);
  // OnMouseWheel comes first and may take the event.
  box.OnMouseWheel = [](TObject*, TShiftState, int delta, TPoint, bool& handled) { handled = delta > 0; };
  notches.clear();
  box.UserWheel(1);
  EXPECT_TRUE(notches.empty());
}

TEST_F(FormsControls, FocusGoesToTheControlAskedForEvenInAWindowThatIsNotActive) {
  TScrollBox& box = form->Create<TScrollBox>("ScrollBox3", form);
  TListBox& list = form->Create<TListBox>("ListBox3", form);
  list.SetFocus();
  EXPECT_TRUE(list.Focused());
  box.SetFocus();
  EXPECT_TRUE(box.Focused());
  EXPECT_FALSE(list.Focused());
}

TEST_F(FormsControls, EnablingARunningTimerDoesNotRestartIt) {
  TTimer& timer = form->Create<TTimer>("Timer1");
  int ticks = 0;
  timer.OnTimer = [&](TObject*) { ++ticks; };
  timer.SetInterval(150);
  const auto start = std::chrono::steady_clock::now();
  WaitFor([] { return false; }, 100);
  timer.SetEnabled(true);  // already running
  ASSERT_TRUE(WaitFor([&] { return ticks > 0; }, 2000));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(240));  // a restart would tick at 250 ms at the earliest
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Running());
  ticks = 0;
  timer.Fire();  // a tick on demand, through the dispatcher
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(timer.Running());
}

TEST_F(FormsControls, MenuItemsKeepTheirPlacesAndADisabledItemCannotBeChosen) {
  TPopupMenu& menu = form->Create<TPopupMenu>("PopupMenu4");
  TMenuItem& lu = menu.Add("Lu1", "Lu");
  menu.Add("N1", "-");
  TMenuItem& annuler = menu.Add("Annuler1", "Annuler");
  int chosen = 0;
  lu.OnClick = [&](TObject*) { ++chosen; };
  EXPECT_TRUE(menu.Items(1).IsLine());
  const auto* line = static_cast<QAction*>(menu.Items(1).Action());
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->isSeparator());
  EXPECT_TRUE(line->text().isEmpty()) << "a separator shows no \"-\"";
  EXPECT_EQ(&menu.Items(2), &annuler);
  lu.UserClick();
  lu.SetEnabled(false);
  lu.UserClick();
  EXPECT_EQ(chosen, 1);
  lu.Click();  // the framework's own call does not look
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(menu.FindComponent("annuler1"), &annuler);
}

TEST_F(FormsControls, TheTrayIconReportsAClickWithEitherButton) {
  TTrayIcon& tray = form->Create<TTrayIcon>("RxTrayIcon1");
  tray.SetHint("Orvalis Pulse");
  std::vector<TMouseButton> buttons;
  tray.OnClick = [&](TObject*, TMouseButton b, TShiftState, int, int) { buttons.push_back(b); };
  tray.UserClick(mbLeft);
  tray.UserClick(mbRight);
  EXPECT_EQ(buttons, (std::vector<TMouseButton>{mbLeft, mbRight}));
  EXPECT_TRUE(tray.Active());
}

TEST_F(FormsControls, ADisabledControlKeepsTheGreyedTextOfTheStyleWhateverItsFontColour) {
  TBitBtn& button = form->Create<TBitBtn>("BitBtn1", form);
  TLabel& label = form->Create<TLabel>("Label2", form);
  TCheckBox& box = form->Create<TCheckBox>("vi_ov", form);
  const QPalette style = QApplication::palette();
  for (TControl* c : std::vector<TControl*>{&button, &label, &box}) {
    SCOPED_TRACE(c->Name());
    c->Font().SetColor(clNavy);
    c->SetEnabled(false);
    const QPalette p = c->NativeWidget()->palette();
    EXPECT_EQ(p.color(QPalette::Active, QPalette::ButtonText), QColor(0, 0, 128));
    EXPECT_EQ(p.color(QPalette::Active, QPalette::WindowText), QColor(0, 0, 128));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      EXPECT_EQ(p.color(QPalette::Disabled, role), style.color(QPalette::Disabled, role)) << role;
  }
}

TEST_F(FormsControls, AButtonWidensToItsCaptionAndKeepsItsDesignWidthOtherwise) {
  TButton& longer = form->Create<TButton>("Button2", form);
  longer.SetBounds(88, 140, 75, 25);
  longer.SetCaption("Mouvements d\xC3\xA9taill\xC3\xA9s");
  TBitBtn& shorter = form->Create<TBitBtn>("Button3", form);
  shorter.SetBounds(168, 140, 75, 25);
  shorter.SetCaption("E-Mail");
  const QFontMetrics metrics(longer.NativeWidget()->font());
  EXPECT_GT(longer.Width(), metrics.horizontalAdvance(QString::fromUtf8("Mouvements d\xC3\xA9taill\xC3\xA9s")) + 4)
      << "the whole caption shows";
  EXPECT_EQ(longer.Left(), 88) << "it widens to the right of its place";
  EXPECT_EQ(longer.Height(), 25);
  EXPECT_EQ(shorter.Width(), 75) << "a caption that fits keeps the design width";

  // A smaller font in the window: the button needs less room again, never less than its design.
  longer.SetCaption("Mouvements");
  const int atDesignFont = longer.Width();
  form->Font().SetSize(6);
  EXPECT_LE(longer.Width(), atDesignFont);
  EXPECT_GE(longer.Width(), 75);
}

TEST_F(FormsControls, ALabelGivenAWidthWrapsATextTooLongForIt) {
  TLabel& status = form->Create<TLabel>("Label1", form);
  status.SetBounds(8, 36, 300, 32);
  status.SetCaption("Mise \xC3\xA0 jour de Orvalis Pulse termin\xC3\xA9" "e.");
  const int oneLine = status.Height();
  EXPECT_LE(status.Width(), 300);
  const std::string longText =
      "La mise \xC3\xA0 jour de Orvalis Pulse n'a pas pu \xC3\xAAtre install\xC3\xA9" "e enti\xC3\xA8rement, "
      "un fichier de l'archive est illisible.\rOrvalis Pulse a \xC3\xA9t\xC3\xA9 red\xC3\xA9marr\xC3\xA9.";
  status.SetCaption(longText);
  EXPECT_EQ(status.Width(), 300) << "it keeps to its width";
  EXPECT_GE(status.Height(), 3 * oneLine) << "and grows downwards";
  status.SetLeft(20);  // moving it keeps the design width
  status.SetCaption("Court.");
  EXPECT_LE(status.Width(), 300);
  EXPECT_EQ(status.Height(), oneLine);
  status.SetCaption(longText);
  EXPECT_EQ(status.Width(), 300);

  TLabel& free = form->Create<TLabel>("Label2", form);  // no width given: as wide as its text
  free.SetCaption(longText);
  EXPECT_GT(free.Width(), 300);
}

TEST_F(FormsControls, HintsShowTheirTextAsItIs) {
  TButton& button = form->Create<TButton>("Button1", form);
  for (const std::string& hint : {std::string("Lancer votre navigateur"), std::string("<b>gras</b> & <a href=x>lien</a>"),
                                 std::string("Dupont <dupont@exemple.fr>\rTel : 01 02")}) {
    SCOPED_TRACE(hint);
    button.SetHint(hint);
    QString expected = QString::fromStdString(hint);
    expected.replace('\r', '\n');
    EXPECT_EQ(testing::WhatTheUserReads(button.NativeWidget()->toolTip(), Qt::AutoText), expected);
  }
  button.SetHint("");
  EXPECT_TRUE(button.NativeWidget()->toolTip().isEmpty()) << "no hint, no tooltip";
}

class ScriptedNotificationArea final : public NotificationArea {
 public:
  bool available = false;
  bool Available() override { return available; }
};

TEST_F(FormsControls, TheTrayIconShowsWhenANotificationAreaAppearsAndTellsEachChange) {
  ScriptedNotificationArea area;
  os::ScopedOverride<NotificationArea> use(area);
  TTrayIcon& tray = form->Create<TTrayIcon>("RxTrayIcon1");
  int changes = 0;
  tray.OnNotificationAreaChange = [&](TObject*) { ++changes; };
  EXPECT_TRUE(tray.Active());
  EXPECT_FALSE(tray.InNotificationArea()) << "no tray on this desktop yet";

  area.available = true;
  NotificationAreaChanged();
  EXPECT_TRUE(tray.InNotificationArea());
  EXPECT_EQ(changes, 1);
  NotificationAreaChanged();
  EXPECT_EQ(changes, 1) << "told only when it came or went";
  tray.SetActive(false);
  EXPECT_FALSE(tray.InNotificationArea());
  tray.SetActive(true);

  // Without being told, the icon looks again by itself.
  area.available = false;
  EXPECT_TRUE(WaitFor([&] { return changes == 2; }, 5000));
  EXPECT_FALSE(tray.InNotificationArea());
}

TEST_F(FormsControls, TheTransparentButtonIsGreyOnlyWithAutoGray) {
  TJvTransparentButton& b = form->Create<TJvTransparentButton>("JvTransparentButton3", form);
  EXPECT_TRUE(b.AutoGray());  // the framework's default
  EXPECT_TRUE(b.GlyphGrayed());
  b.SetAutoGray(false);
  EXPECT_FALSE(b.GlyphGrayed());
  int clicks = 0;
  b.OnClick = [&](TObject*) { ++clicks; };
  b.UserClick();
  EXPECT_EQ(clicks, 1);
}

TEST_F(FormsControls, StatusBarPanelsLabelsAndProgressHoldWhatTheyAreGiven) {
  TStatusBar& bar = form->Create<TStatusBar>("StatusBar1", form);
  EXPECT_THROW(bar.Panels(0), std::out_of_range);
  bar.AddPanel().SetWidth(400);
  bar.Panels(0).SetText("connexion impossible");
  EXPECT_EQ(bar.Panels(0).Text(), "connexion impossible");
  TLabel& label = form->Create<TLabel>("Label1", form);
  label.SetCaption("Aucune nouvelle version\rn'est disponible");
  EXPECT_EQ(label.Caption(), "Aucune nouvelle version\rn'est disponible");
  EXPECT_GT(label.Height(), 0);
  TProgressBar& progress = form->Create<TProgressBar>("ProgressBar", form);
  progress.SetMax(1000);
  progress.SetPosition(1500);
  EXPECT_EQ(progress.Position(), 1000);
  progress.SetPosition(-1);
  EXPECT_EQ(progress.Position(), 0);
}

TEST_F(FormsControls, AStringGridHoldsCellsWithinItsSizeAndRefusesOutsideOrHugeOnes) {
  TStringGrid& grid = form->Create<TStringGrid>("StringGrid1", form);
  EXPECT_EQ(grid.ColCount(), 5);
  grid.SetCells(2, 4, "x");
  EXPECT_EQ(grid.Cells(2, 4), "x");
  EXPECT_EQ(grid.Cells(40, 40), "");
  EXPECT_THROW(grid.SetCells(5, 0, "y"), std::out_of_range);
  EXPECT_THROW(grid.SetCol(5), std::out_of_range);
  EXPECT_THROW(grid.SetColCount(2000000), std::length_error);
  EXPECT_EQ(grid.ColCount(), 5);
  grid.SetColCount(0);
  EXPECT_EQ(grid.ColCount(), 1);
  EXPECT_EQ(grid.FixedCols(), 0);
  grid.SetRowCount(3);
  grid.SetRow(2);
  EXPECT_EQ(grid.Row(), 2);
}

TEST_F(FormsControls, TheDatePickerReportsChangesAndTheCloseUpOfAPick) {
  TDateTimePicker& picker = form->Create<TDateTimePicker>("DateTimePicker1", form);
  std::vector<std::string> log;
  picker.OnChange = [&](TObject*) { log.push_back("change " + DateToStr(picker.Date())); };
  picker.OnCloseUp = [&](TObject*) { log.push_back("closeup"); };
  picker.SetDateTime(EncodeDate(2026, 12, 31) + EncodeTime(10, 30, 0));
  picker.SetDate(IncDay(picker.Date()));
  picker.UserPickDate(EncodeDate(2027, 2, 1));
  EXPECT_EQ(log, (std::vector<std::string>{"change 31/12/2026", "change 01/01/2027", "change 01/02/2027", "closeup"}));
  EXPECT_EQ(TimeToStr(picker.Time()), "10:30:00");  // a pick keeps the time of day
  EXPECT_EQ(picker.Text(), "01/02/2027");
  picker.SetDateFormat(dfLong);
  EXPECT_EQ(picker.Text(), "lundi 1 f\xC3\xA9vrier 2027");
  EXPECT_EQ(picker.Text(), LongDateToStr(picker.Date()));
}

TEST_F(FormsControls, TheDatePickerClosesUpWhicheverWayItsCalendarIsClosed) {
  TDateTimePicker& picker = form->Create<TDateTimePicker>("DateTimePicker1", form);
  picker.SetBounds(10, 10, 200, 24);
  picker.SetDateTime(EncodeDate(2026, 12, 10) + EncodeTime(9, 30, 0));
  std::vector<std::string> closeUps;
  picker.OnCloseUp = [&](TObject*) { closeUps.push_back(DateToStr(picker.Date())); };
  const auto openCalendar = [&] {
    testing::ClickAt(picker, {picker.Width() - 6, picker.Height() / 2});
    return WaitFor([] { return QApplication::activePopupWidget() != nullptr; });
  };
  struct Case {
    const char* name;
    testing::Key move;
    std::function<void()> close;
    const char* day;
  } cases[] = {
      {"Enter", testing::Key::Right, [] { testing::PressKeyOnPopup(testing::Key::Enter); }, "11/12/2026"},
      {"Escape", testing::Key::Down, [] { testing::PressKeyOnPopup(testing::Key::Escape); }, "18/12/2026"},
      {"a click outside", testing::Key::Left, [&] { testing::ClickOutsidePopup(picker); }, "17/12/2026"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    closeUps.clear();
    ASSERT_TRUE(openCalendar());
    ASSERT_TRUE(testing::PressKeyOnPopup(c.move));
    c.close();
    ASSERT_TRUE(WaitFor([&] { return !closeUps.empty(); }));
    WaitFor([] { return false; }, 50);
    EXPECT_EQ(closeUps, std::vector<std::string>{c.day}) << "once, with the day the picker shows";
    EXPECT_EQ(DateToStr(picker.Date()), c.day);
  }
}

}  // namespace
}  // namespace forms
