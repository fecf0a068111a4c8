#include "forms/menus.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <stdexcept>

#include "forms/dispatcher.h"
#include "forms/imagelist.h"
#include "forms/native.h"

namespace forms {

using detail::Q;

struct TPopupMenu::Impl {
  QMenu menu;
};

TMenuItem::TMenuItem(TComponent* Owner) : TComponent(Owner) {}
TMenuItem::~TMenuItem() = default;

void TMenuItem::SetCaption(const std::string& c) {
  caption_ = c;
  Apply();
}
void TMenuItem::SetEnabled(bool e) {
  enabled_ = e;
  Apply();
}
void TMenuItem::SetVisible(bool v) {
  visible_ = v;
  Apply();
}
void TMenuItem::SetImageIndex(int i) {
  imageIndex_ = i;
  Apply();
}

void TMenuItem::Click() { Fire(this, OnClick, this); }

void TMenuItem::UserClick() {
  if (!enabled_ || !visible_ || IsLine()) return;
  if (auto* a = static_cast<QAction*>(action_)) a->trigger();
  else Click();
}

void TMenuItem::SetAction(void* action, TPopupMenu* menu) {
  action_ = action;
  menu_ = menu;
  Apply();
}

void TMenuItem::Apply() {
  auto* a = static_cast<QAction*>(action_);
  if (!a) return;
  a->setSeparator(IsLine());
  // A separator is a line: its "-" caption is not drawn beside it.
  a->setText(IsLine() ? QString() : Q(caption_));
  a->setEnabled(enabled_);
  a->setVisible(visible_);
  const QIcon* icon = nullptr;
  if (menu_ && menu_->Images()) icon = static_cast<const QIcon*>(menu_->Images()->Icon(imageIndex_));
  a->setIcon(icon ? *icon : QIcon());
}

TPopupMenu::TPopupMenu(TComponent* Owner) : TComponent(Owner), impl_(std::make_unique<Impl>()) {}

TPopupMenu::~TPopupMenu() {
  DestroyComponents();  // the items, before the menu that shows them
}

TMenuItem& TPopupMenu::Add(const std::string& name, const std::string& caption) {
  TMenuItem& item = Create<TMenuItem>(name);
  QAction* action = impl_->menu.addAction(Q(caption));  // owned by the menu
  item.SetAction(action, this);
  item.SetCaption(caption);
  QObject::connect(action, &QAction::triggered, action, [&item] { item.Click(); });
  items_.push_back(&item);
  return item;
}

TMenuItem& TPopupMenu::Items(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Index de menu hors limites (" + std::to_string(index) + ")");
  return *items_[static_cast<size_t>(index)];
}

void TPopupMenu::Popup(int X, int Y) {
  Fire(this, OnPopup, this);
  for (TMenuItem* item : items_) item->SetImageIndex(item->ImageIndex());  // images may have come since
  impl_->menu.popup(QPoint(X, Y));
}

void* TPopupMenu::NativeMenu() const { return &impl_->menu; }

void TPopupMenu::ItemChanged(TMenuItem& item) { item.SetImageIndex(item.ImageIndex()); }

}  // namespace forms
