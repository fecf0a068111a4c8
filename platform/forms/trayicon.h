#pragma once
// The notification-area (tray) icon. Where the desktop has no notification area the icon
// is simply not seen; nothing fails.
#include <memory>
#include <string>

#include "forms/classes.h"
#include "forms/events.h"

namespace forms {

class TImageList;
class TPopupMenu;

class TTrayIcon : public TComponent {
 public:
  explicit TTrayIcon(TComponent* Owner);
  ~TTrayIcon() override;
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h);
  bool Active() const { return active_; }
  void SetActive(bool a);  // shown in the notification area
  void SetIconFile(const std::string& path);
  void SetIcon(const TImageList& images, int index);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);

  // A click on the icon, with either mouse button; then OnDblClick for a double click.
  TMouseEvent OnClick;
  TNotifyEvent OnDblClick;

  // The user's road: a click on the icon with that button.
  void UserClick(TMouseButton button = mbLeft);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string hint_;
  bool active_ = true;
  TPopupMenu* popupMenu_ = nullptr;
};

// The name the programs' forms use for it.
using TRxTrayIcon = TTrayIcon;

}  // namespace forms
