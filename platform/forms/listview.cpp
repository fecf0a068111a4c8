#include "forms/listview.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <algorithm>
#include <set>
#include <stdexcept>

#include "forms/dispatcher.h"
#include "forms/imagelist.h"
#include "forms/native.h"
#include "forms/screen_text.h"

namespace forms {

using detail::Q;

namespace {

QTreeWidget* TreeOf(const TControl* c) { return static_cast<QTreeWidget*>(c->NativeWidget()); }
QTreeWidgetItem* RowOf(const TListItem* item) { return static_cast<QTreeWidgetItem*>(item->Row()); }

constexpr int kItemRole = Qt::UserRole + 1;

// The sub-items of one row; every change redraws the row.
class SubItemStrings : public TStringList {
 public:
  explicit SubItemStrings(TListItem& item) : item_(item) {}
  void Put(int index, const std::string& s) override {
    TStringList::Put(index, s);
    item_.Refresh();
  }
  void Insert(int index, const std::string& s) override {
    TStringList::Insert(index, s);
    item_.Refresh();
  }
  void Delete(int index) override {
    TStringList::Delete(index);
    item_.Refresh();
  }
  void Clear() override {
    TStringList::Clear();
    item_.Refresh();
  }

 private:
  TListItem& item_;
};

// Each cell takes the colours of its row from the custom-draw handler.
class RowDelegate : public QStyledItemDelegate {
 public:
  RowDelegate(TListView& view, QObject* parent) : QStyledItemDelegate(parent), view_(view) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    TListItem* item = view_.Items().FindRow(TreeOf(&view_)->itemFromIndex(index));
    if (item && view_.OnCustomDrawItem) {
      const TItemColors colors = view_.ItemColors(item);
      opt.backgroundBrush = QBrush(detail::ToQColor(colors.Background));
      opt.palette.setColor(QPalette::Text, detail::ToQColor(colors.Text));
      opt.font.setBold((colors.Style & fsBold) != 0);
      opt.font.setItalic((colors.Style & fsItalic) != 0);
      painter->fillRect(opt.rect, opt.backgroundBrush);
    }
    QStyledItemDelegate::paint(painter, opt, index);
    if (view_.GridLines()) {
      painter->save();
      painter->setPen(QColor(220, 220, 220));
      painter->drawLine(opt.rect.bottomLeft(), opt.rect.bottomRight());
      painter->drawLine(opt.rect.topRight(), opt.rect.bottomRight());
      painter->restore();
    }
  }

  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    const QBrush keep = option->backgroundBrush;
    const QPalette palette = option->palette;
    const QFont font = option->font;
    QStyledItemDelegate::initStyleOption(option, index);
    // A cell draws what a screen line can hold of its text; the row keeps it whole.
    option->text = detail::FitToCell(option->text);
    if (view_.OnCustomDrawItem) {
      option->backgroundBrush = keep;
      option->palette.setColor(QPalette::Text, palette.color(QPalette::Text));
      option->font = font;
    }
  }

 private:
  TListView& view_;
};

// Lays the columns that take the remaining width out again whenever that width changes.
class RemainingWidthFilter final : public QObject {
 public:
  RemainingWidthFilter(TListView& view, QObject* owner) : QObject(owner), view_(view) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) view_.FitRemainingWidth();
    return false;
  }

 private:
  TListView& view_;
};

}  // namespace

// --- columns

void TListColumn::SetCaption(const std::string& c) {
  caption_ = c;
  view_.ColumnChanged(index_);
}
void TListColumn::SetWidth(int w) {
  width_ = std::max(0, w);
  view_.ColumnChanged(index_);
}
void TListColumn::SetSample(const std::string& s) {
  sample_ = s;
  view_.ColumnChanged(index_);
}
void TListColumn::SetAutoSize(bool a) {
  autoSize_ = a;
  view_.ColumnChanged(index_);
}

TListColumn& TListColumns::Add() {
  columns_.push_back(std::make_unique<TListColumn>(view_, Count()));
  view_.ColumnChanged(Count() - 1);
  return *columns_.back();
}

TListColumn& TListColumns::operator[](int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Index de colonne hors limites (" + std::to_string(index) + ")");
  return *columns_[static_cast<size_t>(index)];
}

// --- items

TListItem::TListItem(TListView& view, void* row)
    : view_(view), row_(row), subItems_(std::make_unique<SubItemStrings>(*this)) {
  RowOf(this)->setData(0, kItemRole, QVariant::fromValue(static_cast<void*>(this)));
}

TListItem::~TListItem() = default;

void TListItem::SetCaption(const std::string& c) {
  caption_ = c;
  Refresh();
}

void TListItem::SetImageIndex(int i) {
  imageIndex_ = i;
  Refresh();
}

bool TListItem::Selected() const { return RowOf(this)->isSelected(); }

void TListItem::SetSelected(bool s) {
  QTreeWidget* tree = TreeOf(&view_);
  const QModelIndex index = tree->indexFromItem(RowOf(this));
  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::Rows;
  if (!s) flags |= QItemSelectionModel::Deselect;
  else if (view_.MultiSelect()) flags |= QItemSelectionModel::Select;
  else flags |= QItemSelectionModel::ClearAndSelect;
  tree->selectionModel()->select(index, flags);
  if (s) tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

int TListItem::Index() const { return view_.Items().IndexOf(this); }

void TListItem::Delete() { view_.Items().Delete(Index()); }

void TListItem::Refresh() {
  QTreeWidgetItem* row = RowOf(this);
  row->setText(0, Q(caption_));
  for (int i = 0; i < subItems_->Count(); ++i) row->setText(i + 1, Q(subItems_->Strings(i)));
  for (int i = subItems_->Count() + 1; i < row->columnCount(); ++i) row->setText(i, QString());
  const QIcon* icon = nullptr;
  if (TImageList* images = view_.SmallImages()) icon = static_cast<const QIcon*>(images->Icon(imageIndex_));
  row->setIcon(0, icon ? *icon : QIcon());
  // The row's colours may come from any of its cells: the whole row is drawn again, not
  // only the cell that changed.
  QTreeWidget* tree = TreeOf(&view_);
  QRect rect = tree->visualRect(tree->indexFromItem(row));
  if (rect.isValid()) {
    rect.setLeft(0);
    rect.setRight(tree->viewport()->width());
    tree->viewport()->update(rect);
  }
}

TListItems::~TListItems() = default;

TListItem* TListItems::Add() {
  QTreeWidget* tree = TreeOf(&view_);
  auto row = std::make_unique<QTreeWidgetItem>();
  QTreeWidgetItem* raw = row.get();
  tree->addTopLevelItem(row.release());  // the tree owns its rows
  items_.push_back(std::make_unique<TListItem>(view_, raw));
  items_.back()->Refresh();
  return items_.back().get();
}

TListItem* TListItems::operator[](int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Index de liste hors limites (" + std::to_string(index) + ")");
  return items_[static_cast<size_t>(index)].get();
}

void TListItems::Delete(int index) {
  (void)(*this)[index];
  TListView::Suppress quiet(view_);
  std::unique_ptr<QTreeWidgetItem> row(TreeOf(&view_)->takeTopLevelItem(index));
  items_.erase(items_.begin() + index);
}

void TListItems::Clear() {
  TListView::Suppress quiet(view_);
  TreeOf(&view_)->clear();
  items_.clear();
}

int TListItems::IndexOf(const TListItem* item) const {
  if (!item) return -1;
  return TreeOf(&view_)->indexOfTopLevelItem(RowOf(item));
}

bool TListItems::Contains(const TListItem* item) const {
  return std::any_of(items_.begin(), items_.end(), [item](const auto& p) { return p.get() == item; });
}

TListItem* TListItems::FindRow(const void* row) const {
  if (!row) return nullptr;
  const auto* r = static_cast<const QTreeWidgetItem*>(row);
  return static_cast<TListItem*>(r->data(0, kItemRole).value<void*>());
}

// --- the view

TListView::TListView(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto tree = std::make_unique<QTreeWidget>();
  QTreeWidget* raw = tree.get();
  AttachWidget(std::move(tree));
  raw->setRootIsDecorated(false);
  raw->setUniformRowHeights(true);
  raw->setItemsExpandable(false);
  raw->setAllColumnsShowFocus(true);
  raw->setSelectionBehavior(QAbstractItemView::SelectRows);
  raw->setSelectionMode(QAbstractItemView::SingleSelection);
  raw->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  raw->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  raw->setColumnCount(0);
  raw->header()->setStretchLastSection(false);
  raw->header()->setSectionsMovable(false);
  raw->setItemDelegate(new RowDelegate(*this, raw));  // owned by the tree
  raw->viewport()->installEventFilter(new RemainingWidthFilter(*this, raw));
  QObject::connect(raw->header(), &QHeaderView::sectionResized, raw, [this](int index, int, int) {
    if (index >= 0 && index < columns_.Count() && !columns_[index].AutoSize()) FitRemainingWidth();
  });
  QObject::connect(raw->selectionModel(), &QItemSelectionModel::selectionChanged, raw,
                   [this, raw](const QItemSelection& selected, const QItemSelection& deselected) {
                     auto rows = [raw](const QItemSelection& s) {
                       std::vector<void*> out;
                       std::set<int> seen;
                       for (const QModelIndex& i : s.indexes()) {
                         if (!seen.insert(i.row()).second) continue;
                         out.push_back(raw->topLevelItem(i.row()));
                       }
                       std::sort(out.begin(), out.end(), [raw](void* a, void* b) {
                         return raw->indexOfTopLevelItem(static_cast<QTreeWidgetItem*>(a)) <
                                raw->indexOfTopLevelItem(static_cast<QTreeWidgetItem*>(b));
                       });
                       return out;
                     };
                     RowSelectionChanged(rows(deselected), rows(selected));
                   });
}

TListView::~TListView() {
  Suppress quiet(*this);
  items_.Clear();
}

void TListView::SetMultiSelect(bool m) {
  multiSelect_ = m;
  TreeOf(this)->setSelectionMode(m ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TListView::SetGridLines(bool g) {
  gridLines_ = g;
  TreeOf(this)->viewport()->update();
}

void TListView::SetSmallImages(TImageList* images) {
  smallImages_ = images;
  for (int i = 0; i < items_.Count(); ++i) items_[i]->Refresh();
}

TListItem* TListView::Selected() const { return GetNextSelected(nullptr); }

int TListView::SelCount() const {
  int n = 0;
  for (int i = 0; i < items_.Count(); ++i)
    if (items_[i]->Selected()) ++n;
  return n;
}

TListItem* TListView::GetNextSelected(const TListItem* start) const {
  for (int i = start ? start->Index() + 1 : 0; i < items_.Count(); ++i)
    if (items_[i]->Selected()) return items_[i];
  return nullptr;
}

TListItem* TListView::GetItemAt(int X, int Y) const {
  QTreeWidget* tree = TreeOf(this);
  return items_.FindRow(tree->itemAt(QPoint(X, Y)));
}

void TListView::Scroll(int DX, int DY) {
  QTreeWidget* tree = TreeOf(this);
  tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->value() + DX);
  tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->value() + DY);
}

int TListView::TopPixel() const { return TreeOf(this)->verticalScrollBar()->value(); }

TItemColors TListView::ItemColors(TListItem* item) {
  canvas_.Brush().SetColor(Color() == clDefault ? clWindow : Color());
  canvas_.Font().Assign(Font());
  bool defaultDraw = true;
  const TCustomDrawState state = item && item->Selected() ? TCustomDrawState(cdsSelected) : 0u;
  Fire(this, OnCustomDrawItem, this, item, state, defaultDraw);
  return {canvas_.Brush().Color(), canvas_.Font().Color(), canvas_.Font().Style()};
}

void TListView::UserClickItem(int index, bool ctrl) {
  if (!Enabled()) return;
  QTreeWidget* tree = TreeOf(this);
  TListItem* item = items_[index];
  const QModelIndex mi = tree->indexFromItem(RowOf(item));
  QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::Rows;
  flags |= (ctrl && multiSelect_) ? QItemSelectionModel::Toggle : QItemSelectionModel::ClearAndSelect;
  tree->selectionModel()->setCurrentIndex(mi, flags);
  Click();
}

void TListView::UserClickEmpty() {
  if (!Enabled()) return;
  TreeOf(this)->selectionModel()->clearSelection();
  Click();
}

void TListView::UserDblClickItem(int index) {
  if (!Enabled()) return;
  UserClickItem(index);
  Fire(this, OnDblClick, this);
}

void TListView::UserMouseMove(int X, int Y) {
  QWidget* viewport = TreeOf(this)->viewport();
  const QPointF local(X, Y);
  QMouseEvent e(QEvent::MouseMove, local, viewport->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                Qt::NoModifier);
  QApplication::sendEvent(viewport, &e);
}

void TListView::ColumnChanged(int index) {
  QTreeWidget* tree = TreeOf(this);
  if (tree->columnCount() < columns_.Count()) tree->setColumnCount(columns_.Count());
  QStringList labels;
  for (int i = 0; i < columns_.Count(); ++i) labels << Q(columns_[i].Caption());
  tree->setHeaderLabels(labels);
  if (index < 0 || index >= columns_.Count()) return;
  TListColumn& c = columns_[index];
  QHeaderView* header = tree->header();
  tree->setColumnHidden(index, c.Width() == 0 && !c.AutoSize());
  header->setSectionResizeMode(index, QHeaderView::Interactive);
  if (!c.AutoSize() && c.Width() > 0) tree->setColumnWidth(index, ShownWidth(index));
  FitRemainingWidth();
}

void TListView::FitRemainingWidth() {
  QTreeWidget* tree = TreeOf(this);
  QHeaderView* header = tree->header();
  int taken = 0;
  int fill = 0;
  for (int i = 0; i < columns_.Count() && i < header->count(); ++i) {
    if (columns_[i].AutoSize())
      ++fill;
    else if (!header->isSectionHidden(i))
      taken += header->sectionSize(i);
  }
  if (fill == 0) return;
  // What is left is shared; a column never gets less than its own shown width, so that when
  // the others take the whole list the rows scroll sideways to it instead of squeezing it.
  const int share = std::max(0, tree->viewport()->width() - taken) / fill;
  for (int i = 0; i < columns_.Count() && i < header->count(); ++i)
    if (columns_[i].AutoSize()) tree->setColumnWidth(i, std::max(share, ShownWidth(i)));
}

int TListView::ShownWidth(int index) {
  QTreeWidget* tree = TreeOf(this);
  TListColumn& c = columns_[index];
  QStyle* style = tree->style();
  QHeaderView* header = tree->header();
  // The caption as the header lays it out; the sample with a cell's text margins, and the
  // row's image in the first column.
  const int captionWidth = c.Caption().empty() ? 0 : header->sectionSizeHint(index);
  const int textMargin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
  int sampleWidth = c.Sample().empty() ? 0 : tree->fontMetrics().horizontalAdvance(Q(c.Sample())) + 2 * textMargin + 4;
  if (sampleWidth > 0 && index == 0 && smallImages_) sampleWidth += tree->iconSize().width() + 4;
  return std::max({c.Width(), captionWidth, sampleWidth});
}

void TListView::ApplyFont() {
  TWinControl::ApplyFont();
  for (int i = 0; i < columns_.Count(); ++i) ColumnChanged(i);
}

void TListView::RowSelectionChanged(const std::vector<void*>& deselected, const std::vector<void*>& selected) {
  if (SuppressSelectEvents()) return;
  // Look every row up first: a handler may change the list.
  std::vector<TListItem*> off, on;
  for (void* r : deselected)
    if (TListItem* i = items_.FindRow(r)) off.push_back(i);
  for (void* r : selected)
    if (TListItem* i = items_.FindRow(r)) on.push_back(i);
  for (TListItem* i : off) {
    if (!items_.Contains(i)) continue;
    Fire(this, OnSelectItem, this, i, false);
  }
  for (TListItem* i : on) {
    if (!items_.Contains(i)) continue;
    Fire(this, OnSelectItem, this, i, true);
  }
}

}  // namespace forms
