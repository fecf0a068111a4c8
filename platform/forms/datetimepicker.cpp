#include "forms/datetimepicker.h"

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QLocale>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <cmath>

#include "forms/dispatcher.h"
#include "forms/native.h"

namespace forms {

namespace {

QDateTimeEdit* EditOf(const TControl* c) { return static_cast<QDateTimeEdit*>(c->NativeWidget()); }

QDateTime ToQt(TDateTime v) {
  int y, m, d, h, n, s, ms;
  DecodeDate(v, y, m, d);
  DecodeTime(v, h, n, s, ms);
  return QDateTime(QDate(y, m, d), QTime(h, n, s, ms));
}

TDateTime FromQt(const QDateTime& dt) {
  const QDate d = dt.date();
  const QTime t = dt.time();
  return EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

// The window system's display pattern for one of FormatSettings' patterns.
QString QtPattern(const std::string& pattern) {
  QString out;
  for (char c : pattern) {
    switch (c) {
      case 'm': case 'M': out += QLatin1Char('M'); break;
      case 'n': case 'N': out += QLatin1Char('m'); break;
      case 'h': case 'H': out += QLatin1Char('H'); break;
      case 'D': out += QLatin1Char('d'); break;
      case 'Y': out += QLatin1Char('y'); break;
      case 'S': out += QLatin1Char('s'); break;
      case '/': out += QLatin1Char(FormatSettings().DateSeparator); break;
      case ':': out += QLatin1Char(FormatSettings().TimeSeparator); break;
      default: out += QLatin1Char(c); break;
    }
  }
  return out;
}

class CloseUpFilter final : public QObject {
 public:
  CloseUpFilter(TDateTimePicker& picker, QObject* owner) : QObject(owner), picker_(picker) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Hide)
      QTimer::singleShot(0, picker_.NativeWidget(), [this] { Fire(&picker_, picker_.OnCloseUp, &picker_); });
    return false;
  }

 private:
  TDateTimePicker& picker_;
};

// F4 and Alt+Down open the drop-down calendar, as in the date pickers of other programs: the
// key is taken as a press on the box's arrow, the one road by which the box opens it.
class OpenKeysFilter final : public QObject {
 public:
  explicit OpenKeysFilter(QDateTimeEdit& edit) : QObject(&edit), edit_(edit) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !edit_.calendarPopup()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool altDown = key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier);
    const bool f4 = key->key() == Qt::Key_F4 && !(key->modifiers() & (Qt::AltModifier | Qt::ControlModifier));
    if (!altDown && !f4) return false;
    QStyleOptionComboBox box;
    box.initFrom(&edit_);
    box.editable = true;
    box.subControls = QStyle::SC_All;
    const QPointF arrow = edit_.style()->subControlRect(QStyle::CC_ComboBox, &box, QStyle::SC_ComboBoxArrow, &edit_).center();
    QMouseEvent press(QEvent::MouseButtonPress, arrow, edit_.mapToGlobal(arrow), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&edit_, &press);
    return true;
  }

 private:
  QDateTimeEdit& edit_;
};

}  // namespace

TDateTimePicker::TDateTimePicker(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto edit = std::make_unique<QDateTimeEdit>();
  QDateTimeEdit* raw = edit.get();
  AttachWidget(std::move(edit));
  raw->setCalendarPopup(true);
  // Day and month names are the framework's French ones, as in LongDateToStr.
  raw->setLocale(QLocale(QLocale::French, QLocale::France));
  raw->setMinimumDateTime(QDateTime(QDate(100, 1, 1), QTime(0, 0)));
  value_ = Now();
  Display();
  QObject::connect(raw, &QDateTimeEdit::dateTimeChanged, raw, [this](const QDateTime& dt) {
    const TDateTime v = FromQt(dt);
    if (std::abs(v - value_) < 1e-9) return;
    value_ = v;
    Fire(this, OnChange, this);
  });
  // However the drop-down calendar closes (a click on a day, Enter, Escape, a click
  // outside), the picker has taken its day: OnCloseUp runs, once the calendar is gone.
  if (QCalendarWidget* cal = raw->calendarWidget()) cal->window()->installEventFilter(new CloseUpFilter(*this, raw));
  raw->installEventFilter(new OpenKeysFilter(*raw));
}

void TDateTimePicker::SetDateTime(TDateTime v) {
  if (std::abs(v - value_) < 1e-9) return;
  value_ = v;
  Display();
  Fire(this, OnChange, this);
}

std::string TDateTimePicker::Text() const { return EditOf(this)->text().toStdString(); }

TDateTime TDateTimePicker::Date() const { return DateOf(value_); }
void TDateTimePicker::SetDate(TDateTime d) { SetDateTime(DateOf(d) + (value_ - DateOf(value_))); }
TDateTime TDateTimePicker::Time() const { return value_ - DateOf(value_); }
void TDateTimePicker::SetTime(TDateTime t) { SetDateTime(DateOf(value_) + (t - DateOf(t))); }

void TDateTimePicker::SetKind(TDateTimeKind k) {
  kind_ = k;
  Display();
}

void TDateTimePicker::SetDateFormat(TDTDateFormat f) {
  format_ = f;
  Display();
}

void TDateTimePicker::Display() {
  QDateTimeEdit* e = EditOf(this);
  const QSignalBlocker block(e);
  if (kind_ == dtkTime) {
    e->setDisplayFormat(QtPattern(FormatSettings().LongTimeFormat));
    e->setCalendarPopup(false);
  } else {
    e->setDisplayFormat(QtPattern(format_ == dfLong ? FormatSettings().LongDateFormat : FormatSettings().ShortDateFormat));
    e->setCalendarPopup(true);
  }
  e->setDateTime(ToQt(value_));
}

void TDateTimePicker::UserPickDate(TDateTime day) {
  if (!Enabled()) return;
  SetDate(day);
  Fire(this, OnCloseUp, this);
}

}  // namespace forms
