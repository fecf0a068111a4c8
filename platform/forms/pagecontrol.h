#pragma once
// The page control and its pages. Tabs are not drawn: the program chooses the page
// (ActivePageIndex), as the programs' page controls with hidden tabs do.
#include <string>
#include <vector>

#include "forms/control.h"

namespace forms {

class TPageControl;

class TTabSheet : public TWinControl {
 public:
  // A page is shown in its page control, which is its parent.
  TTabSheet(TComponent* Owner, TPageControl* PageControl);
  ~TTabSheet() override;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c) { caption_ = c; }
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool v) { tabVisible_ = v; }
  int PageIndex() const;
  TPageControl* PageControl() const { return pageControl_; }

  // Runs when the page becomes the active page.
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 private:
  std::string caption_;
  bool tabVisible_ = true;
  TPageControl* pageControl_;
};

class TPageControl : public TWinControl {
 public:
  TPageControl(TComponent* Owner, TWinControl* Parent);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const;
  TTabSheet* ActivePage() const;
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const { return active_; }
  // Shows that page: the old page's OnHide, then the new page's OnShow. An index outside
  // the pages changes nothing.
  void SetActivePageIndex(int index);

  // For the forms layer.
  void AddPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  int IndexOfPage(const TTabSheet* page) const;

 private:
  std::vector<TTabSheet*> pages_;
  int active_ = -1;
};

}  // namespace forms
