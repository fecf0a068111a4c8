#include "forms/lists.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <stdexcept>

#include "forms/dispatcher.h"
#include "forms/native.h"

namespace forms {

using detail::Q;
using detail::S;

namespace {

void CheckIndex(int index, int count) {
  if (index < 0 || index >= count)
    throw std::out_of_range("Index de liste hors limites (" + std::to_string(index) + ")");
}

// The items of a list box or combo box, kept beside the widget that shows them.
class ListItems : public TStrings {
 public:
  explicit ListItems(TCustomListControl& list) : list_(list) {}
  int Count() const override { return static_cast<int>(list_.Model().size()); }
  std::string Strings(int index) const override {
    CheckIndex(index, Count());
    return list_.Model()[static_cast<size_t>(index)];
  }
  void Put(int index, const std::string& s) override {
    CheckIndex(index, Count());
    const int selected = list_.ItemIndex();
    list_.Model()[static_cast<size_t>(index)] = s;
    list_.ModelChanged(TCustomListControl::Change::Put, index);
    list_.SetItemIndex(selected);
  }
  void Insert(int index, const std::string& s) override {
    if (index < 0 || index > Count()) CheckIndex(index, Count());
    const int selected = list_.ItemIndex();
    auto& m = list_.Model();
    m.insert(m.begin() + index, s);
    list_.ModelChanged(TCustomListControl::Change::Inserted, index);
    list_.SetItemIndex(selected >= index && selected >= 0 ? selected + 1 : selected);
  }
  int Add(const std::string& s) override {
    const int index = list_.Sorted() ? list_.SortedPosition(s) : Count();
    Insert(index, s);
    return index;
  }
  void Delete(int index) override {
    CheckIndex(index, Count());
    const int selected = list_.ItemIndex();
    auto& m = list_.Model();
    m.erase(m.begin() + index);
    list_.ModelChanged(TCustomListControl::Change::Removed, index);
    list_.SetItemIndex(selected == index ? -1 : (selected > index ? selected - 1 : selected));
  }
  void Clear() override {
    list_.Model().clear();
    list_.ModelChanged();
    list_.SetItemIndex(-1);
  }

 private:
  TCustomListControl& list_;
};

QListWidget* ListOf(const TControl* c) { return static_cast<QListWidget*>(c->NativeWidget()); }
QComboBox* ComboOf(const TControl* c) { return static_cast<QComboBox*>(c->NativeWidget()); }

// Rows of an owner-drawn list box are painted by its OnDrawItem.
class OwnerDrawDelegate : public QStyledItemDelegate {
 public:
  OwnerDrawDelegate(TListBox& box, QObject* parent) : QStyledItemDelegate(parent), box_(box) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (box_.Style() == lbStandard || !box_.OnDrawItem) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    TCanvas& canvas = box_.Canvas();
    canvas.Font().Assign(box_.Font());
    canvas.Brush().SetColor(selected ? clHighlight : (box_.Color() == clDefault ? clWindow : box_.Color()));
    if (selected) canvas.Font().SetColor(clHighlightText);
    const QRect r = option.rect;
    const TRect rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    canvas.painter = painter;
    Fire(&box_, box_.OnDrawItem, &box_, index.row(), rect, selected ? TOwnerDrawState(odSelected) : 0u);
    canvas.painter = nullptr;
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    if (box_.Style() != lbStandard) s.setHeight(box_.ItemHeight());
    return s;
  }

 private:
  TListBox& box_;
};

// Changes made from code do not count as the user's.
struct Quiet {
  explicit Quiet(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~Quiet() { flag_ = was_; }
  bool& flag_;
  bool was_;
};

}  // namespace

TCustomListControl::TCustomListControl(TComponent* Owner, TWinControl* Parent)
    : TWinControl(Owner, Parent), items_(std::make_unique<ListItems>(*this)) {}

TCustomListControl::~TCustomListControl() = default;

void TCustomListControl::SetSorted(bool s) {
  if (s == sorted_) return;
  sorted_ = s;
  if (!s) return;
  const int selected = ItemIndex();
  const std::string current = selected >= 0 ? model_[static_cast<size_t>(selected)] : std::string();
  std::stable_sort(model_.begin(), model_.end(),
                   [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
  ModelChanged();
  if (selected >= 0) {
    auto it = std::find(model_.begin(), model_.end(), current);
    SetItemIndex(it == model_.end() ? -1 : static_cast<int>(it - model_.begin()));
  }
}

int TCustomListControl::SortedPosition(const std::string& s) const {
  auto it = std::upper_bound(model_.begin(), model_.end(), s,
                             [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
  return static_cast<int>(it - model_.begin());
}

// --- list box

TListBox::TListBox(TComponent* Owner, TWinControl* Parent) : TCustomListControl(Owner, Parent) {
  auto list = std::make_unique<QListWidget>();
  QListWidget* raw = list.get();
  AttachWidget(std::move(list));
  raw->setSelectionMode(QAbstractItemView::SingleSelection);
  raw->setItemDelegate(new OwnerDrawDelegate(*this, raw));  // owned by the list
  QObject::connect(raw, &QListWidget::itemSelectionChanged, raw, [this] { UserSelectionChanged(); });
}

int TListBox::ItemIndex() const {
  QListWidget* l = ListOf(this);
  if (multiSelect_) return l->currentRow();
  const auto selected = l->selectedItems();
  return selected.isEmpty() ? -1 : l->row(selected.front());
}

void TListBox::SetItemIndex(int index) {
  if (index >= Items().Count()) return;
  Quiet quiet(updating_);
  QListWidget* l = ListOf(this);
  if (index < 0) {
    l->clearSelection();
    l->setCurrentRow(-1);
    return;
  }
  l->setCurrentRow(index, multiSelect_ ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
}

void TListBox::SetMultiSelect(bool m) {
  multiSelect_ = m;
  ListOf(this)->setSelectionMode(m ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

bool TListBox::Selected(int index) const {
  QListWidgetItem* item = ListOf(this)->item(index);
  return item && item->isSelected();
}

void TListBox::SetSelected(int index, bool s) {
  QListWidgetItem* item = ListOf(this)->item(index);
  if (!item) throw std::out_of_range("Index de liste hors limites (" + std::to_string(index) + ")");
  Quiet quiet(updating_);
  item->setSelected(s);
}

int TListBox::SelCount() const { return static_cast<int>(ListOf(this)->selectedItems().size()); }

void TListBox::SetStyle(TListBoxStyle s) {
  style_ = s;
  ListOf(this)->doItemsLayout();
}

void TListBox::SetItemHeight(int h) {
  itemHeight_ = h;
  ListOf(this)->doItemsLayout();
}

void TListBox::UserClickItem(int index) {
  if (!Enabled()) return;
  QListWidget* l = ListOf(this);
  if (index < 0 || index >= l->count()) {
    {
      Quiet quiet(updating_);
      l->clearSelection();  // as a click below the last item
    }
    Click();
    return;
  }
  {
    Quiet quiet(updating_);
    l->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  }
  Click();
}

void TListBox::ModelChanged(Change change, int index) {
  Quiet quiet(updating_);
  QListWidget* l = ListOf(this);
  switch (change) {
    case Change::Put:
      l->item(index)->setText(Q(model_[static_cast<size_t>(index)]));
      return;
    case Change::Inserted:
      l->insertItem(index, Q(model_[static_cast<size_t>(index)]));
      return;
    case Change::Removed: {
      std::unique_ptr<QListWidgetItem> gone(l->takeItem(index));
      return;
    }
    case Change::All:
      break;
  }
  QStringList texts;
  for (const auto& s : model_) texts << Q(s);
  l->clear();
  l->addItems(texts);
}

void TListBox::UserSelectionChanged() {
  if (updating_) return;
  // A selection by the keyboard; mouse clicks come through UserClickItem or the view.
  Click();
}

// --- combo box

TComboBox::TComboBox(TComponent* Owner, TWinControl* Parent) : TCustomListControl(Owner, Parent) {
  auto combo = std::make_unique<QComboBox>();
  QComboBox* raw = combo.get();
  AttachWidget(std::move(combo));
  SetStyle(csDropDown);
  QObject::connect(raw, &QComboBox::activated, raw, [this] { Fire(this, OnChange, this); });
}

int TComboBox::ItemIndex() const { return ComboOf(this)->currentIndex(); }

void TComboBox::SetItemIndex(int index) {
  if (index >= Items().Count()) return;
  ComboOf(this)->setCurrentIndex(index < 0 ? -1 : index);
}

std::string TComboBox::Text() const { return S(ComboOf(this)->currentText()); }

void TComboBox::SetText(const std::string& text) {
  QComboBox* c = ComboOf(this);
  if (c->isEditable()) {
    c->setEditText(Q(text));
    return;
  }
  const int i = c->findText(Q(text));
  c->setCurrentIndex(i);
}

void TComboBox::SetStyle(TComboBoxStyle s) {
  style_ = s;
  QComboBox* c = ComboOf(this);
  const bool was = c->isEditable();
  c->setEditable(s != csDropDownList);
  if (!was && c->isEditable())
    QObject::connect(c->lineEdit(), &QLineEdit::textEdited, c, [this] { Fire(this, OnChange, this); });
}

void TComboBox::UserSelect(int index) {
  QComboBox* c = ComboOf(this);
  if (!c->isEnabled() || index < 0 || index >= c->count()) return;
  c->setCurrentIndex(index);
  Fire(this, OnChange, this);
}

void TComboBox::ModelChanged(Change, int) {
  QComboBox* c = ComboOf(this);
  const QString text = c->currentText();
  QStringList texts;
  for (const auto& s : model_) texts << Q(s);
  const QSignalBlocker block(c);
  c->clear();
  c->addItems(texts);
  c->setCurrentIndex(-1);
  if (c->isEditable()) c->setEditText(text);
}

}  // namespace forms
