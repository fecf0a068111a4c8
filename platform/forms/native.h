#pragma once
// Inside the forms layer only: how controls reach their widgets. Client code never
// includes this header.
#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/graphics.h"

namespace forms::detail {

// The widget of one control: the control owns it and deletes it when it goes, unless the
// window system has already done so with its parent.
class WidgetHolder {
 public:
  explicit WidgetHolder(std::unique_ptr<QWidget> widget) : widget_(widget.release()) {}
  ~WidgetHolder() { delete widget_.data(); }
  QWidget* get() const { return widget_.data(); }

 private:
  QPointer<QWidget> widget_;
};

inline QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s) { return s.toStdString(); }
// The framework writes line breaks as CR or CR LF; the window system wants LF.
QString DisplayText(const std::string& s);
// And back: each LF of the window system's text written as CR LF.
std::string FrameworkText(const QString& text);
// A hint as the window system's tooltips must get it. They take any text that looks like
// markup for markup, so a hint holding "<" (a server line, a file name) is handed over as
// markup that shows its characters as they are; an empty hint stays empty (no tooltip).
QString ToolTipText(const std::string& s);
// Shows `hint` at once for `widget`, with the mouse pointer at `pointer`, for `hidePause` ms:
// cut to what a reader takes in at a glance (a few lines, each cut marked by an ellipsis) and
// no taller than the room above or below the pointer, so that it never lands on the pointer.
void ShowHint(QPoint pointer, const std::string& hint, QWidget* widget, int hidePause);
QColor ToQColor(TColor color);
QFont ToQFont(const TFont& font, const QFont& base);

// The control a widget draws (or nullptr), looking up through its parents.
TControl* ControlOf(QWidget* widget);
void Bind(QWidget* widget, TControl* control);

// Shift state of the keyboard and mouse buttons of an input event.
TShiftState ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons);

}  // namespace forms::detail
