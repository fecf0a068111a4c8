#pragma once
// Popup menus and their items. An item whose caption is "-" is a separator; items keep their
// places (a separator counts as an item, as in the framework).
#include <memory>
#include <string>
#include <vector>

#include "forms/classes.h"
#include "forms/events.h"
#include "forms/graphics.h"

namespace forms {

class TImageList;
class TPopupMenu;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* Owner);
  ~TMenuItem() override;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  bool IsLine() const { return caption_ == "-"; }

  TNotifyEvent OnClick;
  // The framework's Click: runs OnClick through the dispatcher.
  void Click();
  // The user's road: chooses the item in its menu (nothing while disabled or invisible).
  void UserClick();

  // For the forms layer.
  void* Action() const { return action_; }
  void SetAction(void* action, TPopupMenu* menu);

 private:
  void Apply();
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  int imageIndex_ = -1;
  void* action_ = nullptr;
  TPopupMenu* menu_ = nullptr;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* Owner);
  ~TPopupMenu() override;
  // Adds an item owned by the menu's owner (so the form finds it by name).
  TMenuItem& Add(const std::string& name, const std::string& caption);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem& Items(int index) const;  // throws std::out_of_range
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images) { images_ = images; }
  // Shows the menu at a screen point (the user then chooses, or not).
  void Popup(int X, int Y);
  TNotifyEvent OnPopup;

  // For the forms layer.
  void* NativeMenu() const;
  void ItemChanged(TMenuItem& item);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<TMenuItem*> items_;
  TImageList* images_ = nullptr;
};

}  // namespace forms
