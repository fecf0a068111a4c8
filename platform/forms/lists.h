#pragma once
// The list box and the combo box. Items() reads and writes the control's items.
// A sorted list keeps its items in case-insensitive order (AnsiCompareText); adding an
// item puts it in its place. Setting ItemIndex from code does not run OnClick / OnChange.
#include <functional>
#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/strings.h"

namespace forms {

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum TOwnerDrawStateFlag : unsigned { odSelected = 1, odFocused = 2 };
using TOwnerDrawState = unsigned;
using TDrawItemEvent =
    std::function<void(TObject* Control, int Index, TRect Rect, TOwnerDrawState State)>;

class TCustomListControl : public TWinControl {
 public:
  TCustomListControl(TComponent* Owner, TWinControl* Parent);
  ~TCustomListControl() override;
  TStrings& Items() { return *items_; }
  const TStrings& Items() const { return *items_; }
  bool Sorted() const { return sorted_; }
  void SetSorted(bool s);
  virtual int ItemIndex() const = 0;
  // -1 selects nothing; an index outside the items is ignored.
  virtual void SetItemIndex(int index) = 0;

  // For the forms layer: the items in order, and the widget following each change of them
  // (one item put, inserted or removed at `index`; index -1: all of them anew).
  std::vector<std::string>& Model() { return model_; }
  enum class Change { Put, Inserted, Removed, All };
  virtual void ModelChanged(Change change = Change::All, int index = -1) = 0;
  int SortedPosition(const std::string& s) const;

 protected:
  std::unique_ptr<TStrings> items_;
  std::vector<std::string> model_;
  bool sorted_ = false;
};

class TListBox : public TCustomListControl {
 public:
  TListBox(TComponent* Owner, TWinControl* Parent);
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool m);
  bool Selected(int index) const;
  void SetSelected(int index, bool s);
  int SelCount() const;
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle s);
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int h);

  // OnClick (of TControl) runs when the user selects an item, by mouse or keyboard.
  // OnDrawItem paints each row of an owner-drawn list on Canvas().
  TDrawItemEvent OnDrawItem;
  TCanvas& Canvas() { return canvas_; }

  // The user's road: a click on item `index` (-1: on empty space).
  void UserClickItem(int index);

  // For the forms layer.
  void ModelChanged(Change change, int index) override;
  void UserSelectionChanged();

 private:
  bool multiSelect_ = false;
  bool updating_ = false;
  TListBoxStyle style_ = lbStandard;
  int itemHeight_ = 16;
  TCanvas canvas_;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TComboBox : public TCustomListControl {
 public:
  TComboBox(TComponent* Owner, TWinControl* Parent);
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  std::string Text() const;
  void SetText(const std::string& text);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle s);

  // Runs when the user picks an item or edits the text.
  TNotifyEvent OnChange;

  // The user's road: picks item `index` from the drop-down list.
  void UserSelect(int index);

  // For the forms layer.
  void ModelChanged(Change change, int index) override;

 private:
  TComboBoxStyle style_ = csDropDown;
};

}  // namespace forms
