#include "forms/trayicon.h"

#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "forms/dispatcher.h"
#include "forms/imagelist.h"
#include "forms/menus.h"
#include "forms/native.h"

namespace forms {

struct TTrayIcon::Impl {
  QSystemTrayIcon icon;
};

namespace {
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
}  // namespace

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
  SetActive(true);
}

TTrayIcon::~TTrayIcon() = default;

void TTrayIcon::SetHint(const std::string& h) {
  hint_ = h;
  impl_->icon.setToolTip(detail::ToolTipText(h));
}

void TTrayIcon::SetActive(bool a) {
  active_ = a;
  // Without a notification area the icon stays hidden; the program goes on all the same.
  if (a && QSystemTrayIcon::isSystemTrayAvailable()) impl_->icon.show();
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
