#include "forms/trayicon.h"

#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "forms/dispatcher.h"
#include "forms/imagelist.h"
#include "forms/menus.h"
#include "forms/native.h"

namespace forms {

namespace {

// The tray icons alive now, told when the notification area changes.
std::vector<TTrayIcon*>& LiveIcons() {
  static std::vector<TTrayIcon*> icons;
  return icons;
}

class WindowSystemNotificationArea final : public NotificationArea {
 public:
  bool Available() override { return QSystemTrayIcon::isSystemTrayAvailable(); }
};

// Until the program gives one, the icon is a plain blue disc.
QIcon DefaultIcon() {
  QPixmap p(22, 22);
  p.fill(Qt::transparent);
  QPainter painter(&p);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0, 102, 204));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QRectF(2, 2, 18, 18));
  painter.end();
  return QIcon(p);
}

// The window system answers whether there is a notification area from what it already
// knows, so asking it again every few seconds costs next to nothing; Qt offers no signal
// for a notification area that comes or goes.
constexpr int kLookAgainMs = 2000;

}  // namespace

void NotificationAreaChanged() {
  const std::vector<TTrayIcon*> icons = LiveIcons();  // a handler may add or remove icons
  for (TTrayIcon* icon : icons)
    if (std::find(LiveIcons().begin(), LiveIcons().end(), icon) != LiveIcons().end()) icon->LookAtNotificationArea();
}

struct TTrayIcon::Impl {
  QSystemTrayIcon icon;
  // Looks at the notification area again from time to time.
  QTimer lookAgain;
};

TTrayIcon::TTrayIcon(TComponent* Owner) : TComponent(Owner), impl_(std::make_unique<Impl>()) {
  impl_->icon.setIcon(DefaultIcon());
  QObject::connect(&impl_->icon, &QSystemTrayIcon::activated, &impl_->icon,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     switch (reason) {
                       case QSystemTrayIcon::Trigger: UserClick(mbLeft); break;
                       case QSystemTrayIcon::Context: UserClick(mbRight); break;
                       case QSystemTrayIcon::MiddleClick: UserClick(mbMiddle); break;
                       case QSystemTrayIcon::DoubleClick: Fire(this, OnDblClick, this); break;
                       default: break;
                     }
                   });
  QObject::connect(&impl_->lookAgain, &QTimer::timeout, &impl_->icon, [this] { LookAtNotificationArea(); });
  impl_->lookAgain.start(kLookAgainMs);
  LiveIcons().push_back(this);
  areaAvailable_ = os::Use<NotificationArea>().Available();
  ShowOrHide();
}

TTrayIcon::~TTrayIcon() { std::erase(LiveIcons(), this); }

void TTrayIcon::SetHint(const std::string& h) {
  hint_ = h;
  impl_->icon.setToolTip(detail::ToolTipText(h));
}

void TTrayIcon::SetActive(bool a) {
  active_ = a;
  ShowOrHide();
}

bool TTrayIcon::InNotificationArea() const { return active_ && areaAvailable_; }

void TTrayIcon::LookAtNotificationArea() {
  const bool available = os::Use<NotificationArea>().Available();
  if (available == areaAvailable_) return;
  areaAvailable_ = available;
  ShowOrHide();
  Fire(this, OnNotificationAreaChange, this);
}

void TTrayIcon::ShowOrHide() {
  if (InNotificationArea()) impl_->icon.show();
  else impl_->icon.hide();
}

void TTrayIcon::SetIconFile(const std::string& path) {
  const QIcon icon(detail::Q(path));
  if (!icon.isNull()) impl_->icon.setIcon(icon);
}

void TTrayIcon::SetIcon(const TImageList& images, int index) {
  if (const auto* icon = static_cast<const QIcon*>(images.Icon(index))) impl_->icon.setIcon(*icon);
}

void TTrayIcon::SetPopupMenu(TPopupMenu* menu) {
  popupMenu_ = menu;
  impl_->icon.setContextMenu(menu ? static_cast<QMenu*>(menu->NativeMenu()) : nullptr);
}

void TTrayIcon::UserClick(TMouseButton button) {
  Fire(this, OnClick, this, button, TShiftState(0), 0, 0);
}

}  // namespace forms

namespace os {
template <>
forms::NotificationArea& RealService<forms::NotificationArea>() {
  static forms::WindowSystemNotificationArea real;
  return real;
}
}  // namespace os
