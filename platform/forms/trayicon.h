#pragma once
// The notification-area (tray) icon.
//
// Not every desktop has a notification area (a plain GNOME session has none), and where there
// is one it may start after the program (a panel that comes up late at log-in). The icon
// shows as soon as there is one, and tells its program when one comes or goes, so that a
// program never hides where nothing could bring it back.
#include <memory>
#include <string>

#include "forms/classes.h"
#include "forms/events.h"
#include "os/service.h"

namespace forms {

class TImageList;
class TPopupMenu;

// Whether the desktop has a notification area now. The real one asks the window system;
// tests put a fake in place with os::ScopedOverride<forms::NotificationArea>.
class NotificationArea {
 public:
  virtual ~NotificationArea() = default;
  virtual bool Available() = 0;
};

// Every tray icon looks at the notification area again, shows or hides its icon, and runs
// its OnNotificationAreaChange when the area came or went since it last looked. Each icon
// also looks by itself every two seconds; a test's fake calls this after changing its
// answer. Window thread only.
void NotificationAreaChanged();

class TTrayIcon : public TComponent {
 public:
  explicit TTrayIcon(TComponent* Owner);
  ~TTrayIcon() override;
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h);
  bool Active() const { return active_; }
  void SetActive(bool a);  // shown in the notification area whenever there is one
  // Active and the desktop has a notification area: the icon can be seen and clicked.
  bool InNotificationArea() const;
  void SetIconFile(const std::string& path);
  void SetIcon(const TImageList& images, int index);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);

  // A click on the icon, with either mouse button; then OnDblClick for a double click.
  TMouseEvent OnClick;
  TNotifyEvent OnDblClick;
  // The desktop's notification area came or went (InNotificationArea tells which).
  TNotifyEvent OnNotificationAreaChange;

  // The user's road: a click on the icon with that button.
  void UserClick(TMouseButton button = mbLeft);

 private:
  friend void NotificationAreaChanged();
  void LookAtNotificationArea();
  void ShowOrHide();
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string hint_;
  bool active_ = true;
  bool areaAvailable_ = false;
  TPopupMenu* popupMenu_ = nullptr;
};

// The name the programs' forms use for it.
using TRxTrayIcon = TTrayIcon;

}  // namespace forms

namespace os {
template <>
forms::NotificationArea& RealService<forms::NotificationArea>();
}  // namespace os
