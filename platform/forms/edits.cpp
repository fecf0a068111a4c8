#include "forms/edits.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <limits>
#include <stdexcept>

#include "forms/dispatcher.h"
#include "forms/native.h"

namespace forms {

using detail::Q;
using detail::S;

namespace {

// The window system's edit box keeps 32767 characters unless told otherwise; a box without
// a limit keeps its whole text.
constexpr int kNoLengthLimit = std::numeric_limits<int>::max();

QLineEdit* LineOf(const TControl* c) { return static_cast<QLineEdit*>(c->NativeWidget()); }
QPlainTextEdit* PlainOf(const TControl* c) { return static_cast<QPlainTextEdit*>(c->NativeWidget()); }

// Sends each character as a key press and release, as typing does.
void TypeInto(QWidget* w, const std::string& text) {
  for (const QChar ch : Q(text)) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
  }
}

// The lines of a memo, read from and written to its document. As in the framework, each
// line added ends with a line break, and an empty last line is not counted.
class MemoLines : public TStrings {
 public:
  explicit MemoLines(TCustomMemo& memo) : memo_(memo) {}

  int Count() const override {
    QTextDocument* doc = Doc();
    int n = doc->blockCount();
    if (doc->lastBlock().text().isEmpty()) --n;
    return n;
  }
  std::string Strings(int index) const override {
    Check(index, Count());
    return S(Doc()->findBlockByNumber(index).text());
  }
  void Put(int index, const std::string& s) override {
    Check(index, Count());
    QTextCursor c(Doc()->findBlockByNumber(index));
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(PlainLine(s));
  }
  void Insert(int index, const std::string& s) override {
    const int count = Count();
    if (index < 0 || index > count) Check(index, count);
    QTextDocument* doc = Doc();
    if (index == count) {
      QTextCursor c(doc);
      c.movePosition(QTextCursor::End);
      if (!doc->lastBlock().text().isEmpty()) c.insertText(QStringLiteral("\n"));
      c.insertText(PlainLine(s) + QLatin1Char('\n'));
      return;
    }
    QTextCursor c(doc->findBlockByNumber(index));
    c.insertText(PlainLine(s) + QLatin1Char('\n'));
  }
  void Delete(int index) override {
    Check(index, Count());
    QTextDocument* doc = Doc();
    QTextBlock block = doc->findBlockByNumber(index);
    QTextCursor c(block);
    if (block.next().isValid()) {
      c.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else {
      // The last line: take the line break before it.
      c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      if (index > 0) {
        c.setPosition(block.position() - 1);
        c.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
      }
    }
    c.removeSelectedText();
  }
  void Clear() override { PlainOf(&memo_)->clear(); }

 private:
  static void Check(int index, int count) {
    if (index < 0 || index >= count)
      throw std::out_of_range("Index de liste hors limites (" + std::to_string(index) + ")");
  }
  // A line cannot hold a line break; one given inside a line starts new lines.
  static QString PlainLine(const std::string& s) { return detail::DisplayText(s); }
  QTextDocument* Doc() const { return PlainOf(&memo_)->document(); }
  TCustomMemo& memo_;
};

// A memo wraps its lines at blanks and breaks a word too long for a line anywhere. The
// window system does that in time that grows with the square of the word's length (a reply
// line of a megabyte without a blank: minutes), so while the memo holds a word longer than
// any screen line it breaks every line where it reaches the edge, in time that grows with the
// text, as a screen shows such a word anyway.
constexpr int kLongestWord = 1000;

bool HoldsLongWord(const QTextDocument* doc, int from, int to) {
  for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
    int run = 0;
    for (const QChar c : b.text()) {
      run = c.isSpace() ? 0 : run + 1;
      if (run > kLongestWord) return true;
    }
  }
  return false;
}

void FollowLongWords(QPlainTextEdit* edit) {
  QTextDocument* doc = edit->document();
  QObject::connect(doc, &QTextDocument::contentsChange, edit, [edit, doc](int position, int removed, int added) {
    const bool anywhere = edit->wordWrapMode() == QTextOption::WrapAnywhere;
    bool holds = anywhere;
    if (anywhere && removed > 0) holds = HoldsLongWord(doc, 0, doc->characterCount());
    else if (!anywhere) holds = HoldsLongWord(doc, position, position + added);
    // Before the document lays out the change.
    if (holds != anywhere)
      edit->setWordWrapMode(holds ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
  });
}

}  // namespace

TCustomEdit::TCustomEdit(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto line = std::make_unique<QLineEdit>();
  QLineEdit* raw = line.get();
  AttachWidget(std::move(line));
  raw->setMaxLength(kNoLengthLimit);
  QObject::connect(raw, &QLineEdit::textChanged, raw, [this] { Change(); });
}

TCustomEdit::TCustomEdit(TComponent* Owner, TWinControl* Parent, MemoTag) : TWinControl(Owner, Parent) {}

std::string TCustomEdit::Text() const { return S(LineOf(this)->text()); }

void TCustomEdit::SetText(const std::string& text) {
  const QString t = Q(text);
  if (LineOf(this)->text() == t) return;
  LineOf(this)->setText(t);
}

void TCustomEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  LineOf(this)->setReadOnly(v);
}

void TCustomEdit::SetMaxLength(int n) {
  maxLength_ = n < 0 ? 0 : n;
  LineOf(this)->setMaxLength(maxLength_ > 0 ? maxLength_ : kNoLengthLimit);
}

namespace {

// The desktop's style, except that a password box shows its own character for each one typed.
class PasswordCharStyle final : public QProxyStyle {
 public:
  explicit PasswordCharStyle(QChar c) : c_(c) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return c_.unicode();
    if (hint == SH_LineEdit_PasswordMaskDelay) return 0;  // never a typed character in clear
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }

 private:
  QChar c_;
};

}  // namespace

void TCustomEdit::SetPasswordChar(char c) {
  passwordChar_ = c;
  QLineEdit* line = LineOf(this);
  if (c) {
    // The style belongs to the box and goes with it.
    auto* style = new PasswordCharStyle(QChar::fromLatin1(c));
    style->setParent(line);
    QStyle* old = line->style();
    line->setStyle(style);
    if (old && old->parent() == line) delete old;
  }
  line->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
}

void TCustomEdit::UserType(const std::string& text) { TypeInto(NativeWidget(), text); }

void TCustomEdit::Change() { Fire(this, OnChange, this); }

TCustomMemo::TCustomMemo(TComponent* Owner, TWinControl* Parent) : TCustomEdit(Owner, Parent, MemoTag{}) {
  auto edit = std::make_unique<QPlainTextEdit>();
  QPlainTextEdit* raw = edit.get();
  AttachWidget(std::move(edit));
  raw->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  raw->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  FollowLongWords(raw);
  QObject::connect(raw, &QPlainTextEdit::textChanged, raw, [this] { Change(); });
  lines_ = std::make_unique<MemoLines>(*this);
}

TCustomMemo::~TCustomMemo() = default;

std::string TCustomMemo::Text() const {
  return detail::FrameworkText(PlainOf(this)->toPlainText());
}

void TCustomMemo::SetText(const std::string& text) {
  const QString t = detail::DisplayText(text);
  if (PlainOf(this)->toPlainText() == t) return;
  PlainOf(this)->setPlainText(t);
}

void TCustomMemo::AppendLines(const std::string& text) {
  if (text.empty()) return;
  QString t = detail::DisplayText(text);
  QTextDocument* doc = PlainOf(this)->document();
  if (!doc->lastBlock().text().isEmpty()) t.prepend(QLatin1Char('\n'));
  if (!t.endsWith(QLatin1Char('\n'))) t += QLatin1Char('\n');
  QTextCursor c(doc);
  c.movePosition(QTextCursor::End);
  c.insertText(t);
}

void TCustomMemo::SetReadOnly(bool v) { PlainOf(this)->setReadOnly(v); }

void TCustomMemo::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  QPlainTextEdit* e = PlainOf(this);
  const bool v = s == ssVertical || s == ssBoth;
  const bool h = s == ssHorizontal || s == ssBoth;
  e->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
  e->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
}

void TCustomMemo::SetWordWrap(bool w) {
  wordWrap_ = w;
  PlainOf(this)->setLineWrapMode(w ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TCustomMemo::UserType(const std::string& text) {
  QPlainTextEdit* e = PlainOf(this);
  e->moveCursor(QTextCursor::End);
  TypeInto(e, text);
}

}  // namespace forms
