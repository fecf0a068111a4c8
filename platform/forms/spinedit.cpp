#include "forms/spinedit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>
#include <climits>
#include <functional>

#include "forms/dispatcher.h"
#include "forms/native.h"
#include "forms/sysutils.h"

namespace forms {

namespace {

// A spin box that takes whatever is typed and reads it when the user leaves it (or presses
// Enter): a number outside the range becomes the nearer bound, and a text that is not a
// number reads as MinValue, as the framework reads its box.
class FrameworkSpinBox final : public QSpinBox {
 public:
  explicit FrameworkSpinBox(std::function<int(const QString&)> read) : read_(std::move(read)) {}
  QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
  void fixup(QString&) const override {}
  int valueFromText(const QString& text) const override { return read_(text); }
  QLineEdit* Editor() const { return lineEdit(); }

 private:
  std::function<int(const QString&)> read_;
};

FrameworkSpinBox* SpinOf(const TControl* c) { return static_cast<FrameworkSpinBox*>(c->NativeWidget()); }

}  // namespace

TSpinEdit::TSpinEdit(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto spin = std::make_unique<FrameworkSpinBox>([this](const QString& text) { return Read(text); });
  QSpinBox* raw = spin.get();
  AttachWidget(std::move(spin));
  ApplyRange();
  raw->setValue(0);
  QObject::connect(raw, &QSpinBox::valueChanged, raw, [this] { Fire(this, OnChange, this); });
}

int TSpinEdit::Read(const QString& text) const {
  return Clamp(StrToIntDef(Trim(detail::S(text)), min_));
}

// As the framework reads its box: the text shown, even while it is being typed.
int TSpinEdit::Value() const { return Read(SpinOf(this)->text()); }

void TSpinEdit::SetValue(int v) { SpinOf(this)->setValue(Clamp(v)); }

void TSpinEdit::SetMinValue(int v) {
  min_ = v;
  ApplyRange();
}

void TSpinEdit::SetMaxValue(int v) {
  max_ = v;
  ApplyRange();
}

void TSpinEdit::SetIncrement(int v) {
  increment_ = v;
  SpinOf(this)->setSingleStep(v);
}

int TSpinEdit::Clamp(int v) const {
  if (min_ == 0 && max_ == 0) return v;
  return std::clamp(v, std::min(min_, max_), std::max(min_, max_));
}

void TSpinEdit::ApplyRange() {
  QSpinBox* s = SpinOf(this);
  if (min_ == 0 && max_ == 0) s->setRange(INT_MIN, INT_MAX);
  else s->setRange(std::min(min_, max_), std::max(min_, max_));
}

void TSpinEdit::UserEnterText(const std::string& text) {
  if (!Enabled()) return;
  FrameworkSpinBox* spin = SpinOf(this);
  QLineEdit* editor = spin->Editor();
  // The old text selected, the new one typed over it key by key, then the box is left.
  editor->selectAll();
  for (const QChar ch : detail::Q(text)) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(spin, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(spin, &release);
  }
  if (text.empty()) editor->clear();
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(spin, &out);
}

}  // namespace forms
