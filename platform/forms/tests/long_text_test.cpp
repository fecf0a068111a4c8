// Long texts: boxes keep them whole, and what the window shows of them stays within what a
// screen can hold, in bounded time.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <functional>
#include <string>

#include "app_fixture.h"
#include "forms/dialogs.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/listview.h"
#include "forms/native.h"
#include "forms/statusbar.h"
#include "forms/test_support/user_input.h"

namespace forms {
namespace {

class FormsLongText : public testing::FormTest {};

// Generous: the texts below took from seconds to minutes before they were bounded, and take a
// fraction of a second now, even under the sanitizers.
constexpr auto kShownWithin = std::chrono::seconds(15);

template <class F>
std::chrono::steady_clock::duration TimeOf(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::steady_clock::now() - start;
}

QSize Screen() { return QGuiApplication::primaryScreen()->availableGeometry().size(); }

// A text without a single blank, as a server's reply line or a field can be.
std::string Unbroken(std::size_t size) {
  std::string s;
  s.reserve(size);
  for (std::size_t i = 0; s.size() < size; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

TEST_F(FormsLongText, AMemoWrapsAtBlanksAndBreaksAWordTooLongForALineAnywhereInBoundedTime) {
  TMemo& memo = form->Create<TMemo>("Memo3", form);
  memo.SetBounds(0, 0, 300, 200);
  auto* edit = static_cast<QPlainTextEdit*>(memo.NativeWidget());
  // The row starts of the memo's first line.
  const auto rowStarts = [&] {
    QCoreApplication::processEvents();
    memo.NativeWidget()->repaint();
    std::vector<int> starts;
    QTextLayout* layout = edit->document()->firstBlock().layout();
    for (int i = 0; i < layout->lineCount(); ++i) starts.push_back(layout->lineAt(i).textStart());
    return starts;
  };
  std::string words;
  while (words.size() < 400) words += "consigne transmise ";
  memo.Lines().Add(words);
  for (int start : rowStarts()) {
    if (start > 0) {
      EXPECT_EQ(words[static_cast<std::size_t>(start) - 1], ' ') << "a row starts with a word";
    }
  }

  const std::string reply = Unbroken(1 << 20);
  memo.Lines().Clear();
  std::vector<int> starts;
  EXPECT_LT(TimeOf([&] {
              memo.Lines().Add(reply);
              starts = rowStarts();
            }),
            kShownWithin);
  EXPECT_GT(starts.size(), 1000u) << "the line is broken where it reaches the edge";
  EXPECT_EQ(memo.Lines().Strings(0), reply) << "the memo holds the line whole";

  memo.Lines().Clear();
  memo.Lines().Add(words);
  for (int start : rowStarts()) {
    if (start > 0) {
      EXPECT_EQ(words[static_cast<std::size_t>(start) - 1], ' ') << "words again, once it is gone";
    }
  }
}

TEST_F(FormsLongText, LineBreaksAreConvertedInOnePassEachWay) {
  // A mail of empty lines, as the reader puts it in its memo: every line break is converted
  // each way (CR LF and a lone CR in, CR LF out).
  TMemo& memo = form->Create<TMemo>("Memo1", form);
  memo.SetBounds(0, 0, 300, 200);
  std::string text;
  for (int i = 0; i < 300'000; ++i) text += i % 2 ? "\r\n" : "x\r";
  std::string back;
  EXPECT_LT(TimeOf([&] {
              memo.SetText(text);
              back = memo.Text();
            }),
            kShownWithin);
  std::string expected;
  for (int i = 0; i < 300'000; ++i) expected += i % 2 ? "\r\n" : "x\r\n";
  EXPECT_EQ(back, expected);
  // Ten million breaks each way, in one pass (QString::replace took 8 s for these).
  std::string crlf;
  for (int i = 0; i < 10'000'000; ++i) crlf += "\r\n";
  EXPECT_LT(TimeOf([&] { EXPECT_EQ(detail::DisplayText(crlf), QString(10'000'000, QLatin1Char('\n'))); }), kShownWithin);
  EXPECT_LT(TimeOf([&] { EXPECT_EQ(detail::FrameworkText(QString(10'000'000, QLatin1Char('\n'))), crlf); }),
            kShownWithin);
}

TEST_F(FormsLongText, AHugeHintShowsAtOnceWithinTheScreen) {
  TListView& list = form->Create<TListView>("ListView1", form);
  list.SetBounds(0, 0, 500, 300);
  list.Columns().Add().SetWidth(100);
  list.Items().Add()->SetCaption("ligne");
  for (const std::string& hint : {Unbroken(1 << 20), std::string(200000, '\r') + "fin"}) {
    testing::MoveMouseTo(list, {20, 10});
    EXPECT_LT(TimeOf([&] {
                list.SetHint(hint);
                app->ActivateHint(list.ClientToScreen({20, 30}));
                QCoreApplication::processEvents();
              }),
              kShownWithin);
    EXPECT_EQ(list.Hint(), hint);
    EXPECT_EQ(app->ActiveHint(), hint);
    ASSERT_TRUE(QToolTip::isVisible());
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->inherits("QTipLabel") || !w->isVisible()) continue;
      EXPECT_LE(w->width(), Screen().width());
      EXPECT_LE(w->height(), Screen().height());
    }
    app->CancelHint();
  }
}

TEST_F(FormsLongText, AHugeTextInAListCellTheStatusBarOrALabelIsShownAtOnceWithinTheScreen) {
  TListView& list = form->Create<TListView>("ListView3", form);
  list.SetBounds(0, 0, 500, 200);
  for (int i = 0; i < 3; ++i) list.Columns().Add().SetWidth(150);
  TStatusBar& bar = form->Create<TStatusBar>("StatusBar1", form);
  bar.SetAlign(alBottom);
  bar.AddPanel().SetWidth(400);
  TLabel& label = form->Create<TLabel>("Label16", form);
  label.SetBounds(0, 210, 400, 20);
  label.SetAutoSize(true);
  const std::string field = Unbroken(6 << 20);
  const std::string status = Unbroken(3 << 20);
  EXPECT_LT(TimeOf([&] {
              TListItem* row = list.Items().Add();
              row->SubItems().Add(field);
              row->SubItems().Add(field);
              bar.Panels(0).SetText(status);
              label.SetCaption(status);
              form->NativeWidget()->repaint();
              QCoreApplication::processEvents();
            }),
            kShownWithin);
  EXPECT_EQ(list.Items()[0]->SubItems()[0], field);
  EXPECT_EQ(bar.Panels(0).Text(), status);
  EXPECT_EQ(label.Caption(), status);
  for (QLabel* shown : bar.NativeWidget()->findChildren<QLabel*>()) EXPECT_LE(shown->sizeHint().width(), Screen().width());
  EXPECT_LE(label.Width(), Screen().width());
  EXPECT_LE(label.Height(), Screen().height());
}

// The window system's own box.
TEST(FormsLongTextInABox, AHugeRefusalInAMessageBoxIsShownAtOnceWithinTheScreen) {
  TApplication app;
  const std::string refusal = "Refus : " + Unbroken(300000);
  QSize boxSize;
  QString shown;
  const auto answer = [&] {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      boxSize = box->size().expandedTo(box->sizeHint());
      shown = box->text();
      box->buttons().front()->click();
    });
  };
  answer();
  EXPECT_LT(TimeOf([&] { ShowMessage(refusal); }), kShownWithin);
  EXPECT_LE(boxSize.width(), Screen().width());
  EXPECT_LE(boxSize.height(), Screen().height());
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Refus : abcdef"))) << "the beginning is shown";
}

TEST_F(FormsLongText, AnEditBoxWithoutALimitKeepsItsWholeTextAndOneWithALimitCutsAtIt) {
  TEdit& edit = form->Create<TEdit>("pop_3", form);
  const std::string longText(100000, 'a');
  edit.SetText(longText);
  EXPECT_EQ(edit.Text(), longText);
  edit.UserType("z");
  EXPECT_EQ(edit.Text(), longText + "z");

  edit.SetMaxLength(5);
  edit.SetText("abcdefgh");
  EXPECT_EQ(edit.Text(), "abcde");
  edit.UserType("z");
  EXPECT_EQ(edit.Text(), "abcde");
  edit.SetMaxLength(0);
  edit.SetText(longText);
  EXPECT_EQ(edit.Text(), longText);
}

}  // namespace
}  // namespace forms
