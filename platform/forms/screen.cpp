#include "forms/screen.h"

#include <QCursor>

#include "os/desktop.h"

namespace forms {

namespace {
constexpr TScreen kScreen;
}
const TScreen* const Screen = &kScreen;

int TScreen::Width() const { return os::ScreenRect().Width(); }
int TScreen::Height() const { return os::ScreenRect().Height(); }

TRect TScreen::WorkAreaRect() const {
  const os::Rect r = os::WorkArea();
  return {r.left, r.top, r.right, r.bottom};
}

TPoint TScreen::CursorPos() const {
  const QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

}  // namespace forms
