#include "forms/test_support/user_input.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <vector>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeWidget>
#include <QWidget>

namespace forms::testing {

namespace {

QWidget* InputWidget(TControl& control) {
  QWidget* w = control.NativeWidget();
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) return area->viewport();
  return w;
}

Qt::Key QtKey(Key key) {
  switch (key) {
    case Key::Enter: return Qt::Key_Return;
    case Key::Escape: return Qt::Key_Escape;
    case Key::Left: return Qt::Key_Left;
    case Key::Right: return Qt::Key_Right;
    case Key::Up: return Qt::Key_Up;
    case Key::Down: return Qt::Key_Down;
    case Key::Tab: return Qt::Key_Tab;
    case Key::Backspace: return Qt::Key_Backspace;
    case Key::F4: return Qt::Key_F4;
  }
  return Qt::Key_unknown;
}

void ActivateWindowOf(TControl& control) {
  QWidget* window = control.NativeWidget()->window();
  if (QApplication::activeWindow() != window) {
    window->activateWindow();
    QCoreApplication::processEvents();
  }
}

void Focus(QWidget* w) {
  w->window()->activateWindow();
  w->setFocus(Qt::OtherFocusReason);
  QCoreApplication::processEvents();
}

}  // namespace

void MoveMouseTo(TControl& control, TPoint clientPoint) {
  QTest::mouseMove(InputWidget(control), QPoint(clientPoint.X, clientPoint.Y));
  QCoreApplication::processEvents();
}

void ClickAt(TControl& control, TPoint clientPoint) {
  ActivateWindowOf(control);
  QTest::mouseClick(InputWidget(control), Qt::LeftButton, Qt::NoModifier, QPoint(clientPoint.X, clientPoint.Y));
  QCoreApplication::processEvents();
}

void DoubleClickAt(TControl& control, TPoint clientPoint) {
  ActivateWindowOf(control);
  QWidget* w = InputWidget(control);
  const QPoint p(clientPoint.X, clientPoint.Y);
  // As the desktop delivers it: a press and a release, then the second press reported as a
  // double click, and its release.
  QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, p);
  QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, p);
  QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, p);
  QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, p);
  QCoreApplication::processEvents();
}

TPoint RowPoint(TListView& list, int row) {
  auto* tree = static_cast<QTreeWidget*>(list.NativeWidget());
  const QPoint p = tree->visualRect(tree->model()->index(row, 0)).center();
  return {p.x(), p.y()};
}

bool IsActiveWindow(TControl& form) {
  QCoreApplication::processEvents();
  return QApplication::activeWindow() == form.NativeWidget()->window();
}

void TypeKeys(TWinControl& control, const std::string& text) {
  QWidget* w = control.NativeWidget();
  Focus(w);
  QTest::keyClicks(w->focusWidget() ? w->focusWidget() : w, QString::fromStdString(text));
  QCoreApplication::processEvents();
}

void PressKey(TWinControl& control, Key key, bool alt) {
  QWidget* w = control.NativeWidget();
  Focus(w);
  QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, QtKey(key), alt ? Qt::AltModifier : Qt::NoModifier);
  QCoreApplication::processEvents();
}

bool PressKeyOnPopup(Key key) {
  QWidget* popup = QApplication::activePopupWidget();
  if (!popup) return false;
  QWidget* target = popup->focusWidget() ? popup->focusWidget() : popup;
  QTest::keyClick(target, QtKey(key));
  QCoreApplication::processEvents();
  return true;
}

void ClickOutsidePopup(TControl& control) {
  QWidget* window = control.NativeWidget()->window();
  QWidget* popup = QApplication::activePopupWidget();
  // A press outside a popup reaches the popup first, which closes.
  const QPoint corner(window->width() - 2, window->height() - 2);
  QTest::mouseClick(popup ? popup : window, Qt::LeftButton, Qt::NoModifier,
                    popup ? popup->mapFromGlobal(window->mapToGlobal(corner)) : corner);
  QCoreApplication::processEvents();
}

std::string ShownHint() {
  if (!QToolTip::isVisible()) return {};
  QTextDocument shown;
  shown.setHtml(QToolTip::text());
  return shown.toPlainText().toStdString();
}

TRect ShownHintBounds() {
  if (!QToolTip::isVisible()) return {};
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->inherits("QTipLabel") || !w->isVisible()) continue;
    const QRect r = w->frameGeometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  return {};
}

TColor ShownCellColor(TListView& list, int row, int column) {
  QCoreApplication::processEvents();
  auto* tree = static_cast<QTreeWidget*>(list.NativeWidget());
  const QRect cell = tree->visualRect(tree->model()->index(row, column));
  QWidget* window = tree->window();
  const QPoint p = tree->viewport()->mapTo(window, QPoint(cell.right() - 3, cell.top() + 3));
  const QImage shot = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage();
  const QColor c = shot.pixelColor(p);
  return RGB(c.red(), c.green(), c.blue());
}

bool ColumnShowsWhole(TListView& list, int column, const std::string& cellText) {
  auto* tree = static_cast<QTreeWidget*>(list.NativeWidget());
  QHeaderView* header = tree->header();
  const int width = header->sectionSize(column);
  if (width < header->sectionSizeHint(column)) return false;
  QStyleOptionViewItem cell;
  cell.initFrom(tree->viewport());
  cell.font = tree->font();
  cell.fontMetrics = QFontMetrics(cell.font);
  cell.text = QString::fromStdString(cellText);
  cell.features = QStyleOptionViewItem::HasDisplay;
  cell.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  return width >= tree->style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), tree).width();
}

bool ColumnCanBeSeenWhole(TListView& list, int column, const std::string& cellText) {
  QCoreApplication::processEvents();
  auto* tree = static_cast<QTreeWidget*>(list.NativeWidget());
  QScrollBar* bar = tree->horizontalScrollBar();
  const int was = bar->value();
  bar->setValue(bar->maximum());
  QCoreApplication::processEvents();
  QHeaderView* header = tree->header();
  const int left = header->sectionViewportPosition(column);
  const int right = left + header->sectionSize(column);
  const bool inView = left >= 0 && right <= tree->viewport()->width();
  bar->setValue(was);
  return inView && ColumnShowsWhole(list, column, cellText);
}

struct LateWindowManager::Filter final : QObject {
  explicit Filter(QWidget* window) : QObject(window), window_(window) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_ || answering_) return false;
    if (event->type() != QEvent::Move && event->type() != QEvent::Resize) return false;
    asked_.push_back(window_->geometry());
    // The answer to the request before this one comes only now, when the window system next
    // delivers its events.
    if (asked_.size() >= 2) {
      const QRect late = asked_.front();
      asked_.erase(asked_.begin());
      QTimer::singleShot(0, this, [this, late] { Answer(late); });
    }
    return false;
  }
  void Answer(const QRect& r) {
    answering_ = true;
    window_->setGeometry(r);
    answering_ = false;
  }
  void Settle() {
    QCoreApplication::processEvents();
    for (const QRect& r : asked_) Answer(r);
    asked_.clear();
    QCoreApplication::processEvents();
  }
  QWidget* window_;
  std::vector<QRect> asked_;
  bool answering_ = false;
};

LateWindowManager::LateWindowManager(TControl& form) : filter_(new Filter(form.NativeWidget()->window())) {
  filter_->window_->installEventFilter(filter_);
}

LateWindowManager::~LateWindowManager() {
  Settle();
  filter_->window_->removeEventFilter(filter_);
  filter_->deleteLater();
}

void LateWindowManager::Settle() { filter_->Settle(); }

void LeaveControl(TWinControl& control, TWinControl& next) {
  Focus(control.NativeWidget());
  next.NativeWidget()->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
}

}  // namespace forms::testing
