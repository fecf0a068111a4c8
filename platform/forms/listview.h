#pragma once
// The list view in report style: columns, rows (TListItem) with a caption, sub-items and an
// image, one or several selected rows, per-row colours from OnCustomDrawItem, and the row
// under a point.
//
// OnSelectItem runs for each row whose selection changes, by the user or from code: all
// deselections first, then the selections. Clearing the list or deleting rows does not run
// it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/strings.h"

namespace forms {

class TListView;
class TListItem;
class TImageList;

class TListColumn {
 public:
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c);
  int Width() const { return width_; }
  void SetWidth(int w);  // 0 hides the column
  bool AutoSize() const { return autoSize_; }
  // The column takes the remaining width of the list, but never less than its Width, caption
  // and sample: when the other columns take it all, the list scrolls sideways to the column.
  void SetAutoSize(bool a);
  // A value of the fixed form this column shows (a date, a time). A shown column is drawn at
  // least as wide as its caption and as this sample in the list's font, whatever Width says.
  const std::string& Sample() const { return sample_; }
  void SetSample(const std::string& s);

  // For the forms layer.
  TListColumn(TListView& view, int index) : view_(view), index_(index) {}

 private:
  TListView& view_;
  int index_;
  std::string caption_;
  std::string sample_;
  int width_ = 50;
  bool autoSize_ = false;
};

class TListColumns {
 public:
  explicit TListColumns(TListView& view) : view_(view) {}
  TListColumn& Add();
  int Count() const { return static_cast<int>(columns_.size()); }
  TListColumn& operator[](int index);  // throws std::out_of_range
  TListColumn& Items(int index) { return (*this)[index]; }

 private:
  TListView& view_;
  std::vector<std::unique_ptr<TListColumn>> columns_;
};

class TListItem {
 public:
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c);
  // The texts of columns 1, 2, ...
  TStrings& SubItems() { return *subItems_; }
  const TStrings& SubItems() const { return *subItems_; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  bool Selected() const;
  void SetSelected(bool s);
  int Index() const;
  TListView& ListView() const { return view_; }
  // Removes the row from its list (the item is destroyed).
  void Delete();

  // For the forms layer.
  TListItem(TListView& view, void* row);
  ~TListItem();
  void* Row() const { return row_; }
  void Refresh();

 private:
  TListView& view_;
  void* row_;
  std::string caption_;
  std::unique_ptr<TStrings> subItems_;
  int imageIndex_ = 0;
};

class TListItems {
 public:
  explicit TListItems(TListView& view) : view_(view) {}
  ~TListItems();
  TListItem* Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TListItem* operator[](int index) const;  // throws std::out_of_range
  TListItem* Item(int index) const { return (*this)[index]; }
  void Delete(int index);
  void Clear();
  void BeginUpdate() {}
  void EndUpdate() {}

  // For the forms layer.
  int IndexOf(const TListItem* item) const;
  bool Contains(const TListItem* item) const;  // without touching the item
  TListItem* FindRow(const void* row) const;

 private:
  TListView& view_;
  std::vector<std::unique_ptr<TListItem>> items_;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TCustomDrawStateFlag : unsigned { cdsSelected = 1, cdsFocused = 2, cdsHot = 4 };
using TCustomDrawState = unsigned;

using TLVSelectItemEvent = std::function<void(TObject* Sender, TListItem* Item, bool Selected)>;
using TLVCustomDrawItemEvent =
    std::function<void(TObject* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw)>;

// The colours a row is drawn with, after OnCustomDrawItem.
struct TItemColors {
  TColor Background = clWindow;
  TColor Text = clWindowText;
  TFontStyles Style = 0;
};

class TListView : public TWinControl {
 public:
  TListView(TComponent* Owner, TWinControl* Parent);
  ~TListView() override;

  TListColumns& Columns() { return columns_; }
  TListItems& Items() { return items_; }
  const TListItems& Items() const { return items_; }

  TViewStyle ViewStyle() const { return viewStyle_; }
  void SetViewStyle(TViewStyle v) { viewStyle_ = v; }
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool m);
  bool RowSelect() const { return rowSelect_; }
  void SetRowSelect(bool r) { rowSelect_ = r; }
  bool GridLines() const { return gridLines_; }
  void SetGridLines(bool g);
  TImageList* SmallImages() const { return smallImages_; }
  void SetSmallImages(TImageList* images);

  // The first selected row, or nullptr; the number of selected rows.
  TListItem* Selected() const;
  int SelCount() const;
  // The first selected row after `start` (nullptr: from the top), as GetNextItem.
  TListItem* GetNextSelected(const TListItem* start) const;
  // The row at a point of the list's client area, or nullptr.
  TListItem* GetItemAt(int X, int Y) const;
  // Scrolls the rows by pixels.
  void Scroll(int DX, int DY);
  int TopPixel() const;  // how far the rows are scrolled down, in pixels

  TLVSelectItemEvent OnSelectItem;
  TLVCustomDrawItemEvent OnCustomDrawItem;

  // The canvas OnCustomDrawItem sets its colours on.
  TCanvas& Canvas() { return canvas_; }
  // The colours row `item` is drawn with: defaults, then OnCustomDrawItem (through the
  // dispatcher). Painting uses this; tests may call it.
  TItemColors ItemColors(TListItem* item);

  // The user's road: a mouse click on a row (with Ctrl: toggles it in a multi-select list),
  // a click on empty space below the rows, a double click, the mouse moved to a point.
  void UserClickItem(int index, bool ctrl = false);
  void UserClickEmpty();
  void UserDblClickItem(int index);
  void UserMouseMove(int X, int Y);

  // For the forms layer.
  bool HintOnlyOverContent() const override { return true; }
  void ColumnChanged(int index);
  // The width column `index` is drawn with: its Width, widened to its caption and sample.
  int ShownWidth(int index);
  // The columns that take the remaining width, laid out for the list's width now.
  void FitRemainingWidth();
  void RowSelectionChanged(const std::vector<void*>& deselected, const std::vector<void*>& selected);
  bool SuppressSelectEvents() const { return suppress_ > 0; }
  struct Suppress {
    explicit Suppress(TListView& v) : v_(v) { ++v_.suppress_; }
    ~Suppress() { --v_.suppress_; }
    TListView& v_;
  };

 private:
  void ApplyFont() override;
  TListColumns columns_{*this};
  TListItems items_{*this};
  TViewStyle viewStyle_ = vsReport;
  bool multiSelect_ = false;
  bool rowSelect_ = false;
  bool gridLines_ = false;
  TImageList* smallImages_ = nullptr;
  TCanvas canvas_;
  int suppress_ = 0;
};

}  // namespace forms
