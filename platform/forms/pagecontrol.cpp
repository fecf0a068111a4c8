#include "forms/pagecontrol.h"

#include <QStackedWidget>
#include <algorithm>

#include "forms/dispatcher.h"
#include "forms/native.h"

namespace forms {

namespace {
QStackedWidget* StackOf(const TControl* c) { return static_cast<QStackedWidget*>(c->NativeWidget()); }
}  // namespace

TTabSheet::TTabSheet(TComponent* Owner, TPageControl* PageControl)
    : TWinControl(Owner, PageControl), pageControl_(PageControl) {
  AttachWidget(std::make_unique<QWidget>());
  if (pageControl_) pageControl_->AddPage(this);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

int TTabSheet::PageIndex() const { return pageControl_ ? pageControl_->IndexOfPage(this) : -1; }

TPageControl::TPageControl(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  AttachWidget(std::make_unique<QStackedWidget>());
}

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount()) return nullptr;
  return pages_[static_cast<size_t>(index)];
}

TTabSheet* TPageControl::ActivePage() const { return Pages(active_); }

void TPageControl::SetActivePage(TTabSheet* page) { SetActivePageIndex(IndexOfPage(page)); }

void TPageControl::SetActivePageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == active_) return;
  TTabSheet* old = ActivePage();
  TTabSheet* page = Pages(index);
  active_ = index;
  StackOf(this)->setCurrentWidget(page->NativeWidget());
  if (old) Fire(old, old->OnHide, old);
  Fire(page, page->OnShow, page);
}

void TPageControl::AddPage(TTabSheet* page) {
  pages_.push_back(page);
  StackOf(this)->addWidget(page->NativeWidget());
  if (active_ < 0) {
    active_ = 0;
    StackOf(this)->setCurrentWidget(page->NativeWidget());
  }
}

void TPageControl::RemovePage(TTabSheet* page) {
  const int index = IndexOfPage(page);
  if (index < 0) return;
  pages_.erase(pages_.begin() + index);
  StackOf(this)->removeWidget(page->NativeWidget());
  if (active_ == index) active_ = pages_.empty() ? -1 : 0;
  else if (active_ > index) --active_;
}

int TPageControl::IndexOfPage(const TTabSheet* page) const {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

}  // namespace forms
