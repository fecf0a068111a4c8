#include "forms/stringgrid.h"

#include <QHeaderView>
#include <QTableWidget>
#include <stdexcept>

#include "forms/dispatcher.h"
#include "forms/native.h"

namespace forms {

namespace {
QTableWidget* GridOf(const TControl* c) { return static_cast<QTableWidget*>(c->NativeWidget()); }
}  // namespace

TStringGrid::TStringGrid(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto table = std::make_unique<QTableWidget>();
  QTableWidget* raw = table.get();
  AttachWidget(std::move(table));
  raw->horizontalHeader()->hide();
  raw->verticalHeader()->hide();
  Rebuild();
  QObject::connect(raw, &QTableWidget::cellClicked, raw, [this](int r, int c) {
    row_ = r;
    col_ = c;
    Click();
  });
  QObject::connect(raw, &QTableWidget::cellChanged, raw, [this, raw](int r, int c) {
    if (QTableWidgetItem* item = raw->item(r, c)) cells_[{c, r}] = detail::S(item->text());
  });
}

void TStringGrid::SetColCount(int n) {
  if (n < 1) n = 1;
  if (static_cast<long long>(n) * rowCount_ > MaxCells) throw std::length_error("Grille trop grande");
  colCount_ = n;
  if (fixedCols_ >= n) fixedCols_ = n - 1;
  if (col_ >= n) col_ = n - 1;
  Rebuild();
}

void TStringGrid::SetRowCount(int n) {
  if (n < 1) n = 1;
  if (static_cast<long long>(n) * colCount_ > MaxCells) throw std::length_error("Grille trop grande");
  rowCount_ = n;
  if (fixedRows_ >= n) fixedRows_ = n - 1;
  if (row_ >= n) row_ = n - 1;
  Rebuild();
}

void TStringGrid::SetFixedCols(int n) {
  if (n < 0 || n >= colCount_) throw std::out_of_range("Nombre de colonnes fixes incorrect");
  fixedCols_ = n;
  Rebuild();
}

void TStringGrid::SetFixedRows(int n) {
  if (n < 0 || n >= rowCount_) throw std::out_of_range("Nombre de lignes fixes incorrect");
  fixedRows_ = n;
  Rebuild();
}

void TStringGrid::SetCol(int c) {
  if (c < 0 || c >= colCount_) throw std::out_of_range("Index de grille hors limites");
  col_ = c;
  GridOf(this)->setCurrentCell(row_, col_);
}

void TStringGrid::SetRow(int r) {
  if (r < 0 || r >= rowCount_) throw std::out_of_range("Index de grille hors limites");
  row_ = r;
  GridOf(this)->setCurrentCell(row_, col_);
}

std::string TStringGrid::Cells(int col, int row) const {
  auto it = cells_.find({col, row});
  return it == cells_.end() ? std::string() : it->second;
}

void TStringGrid::SetCells(int col, int row, const std::string& text) {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_)
    throw std::out_of_range("Index de grille hors limites");
  if (text.empty()) cells_.erase({col, row});
  else cells_[{col, row}] = text;
  QTableWidget* t = GridOf(this);
  const QSignalBlocker block(t);
  if (QTableWidgetItem* item = t->item(row, col)) item->setText(detail::Q(text));
  else t->setItem(row, col, std::make_unique<QTableWidgetItem>(detail::Q(text)).release());  // owned by the table
}

void TStringGrid::Rebuild() {
  QTableWidget* t = GridOf(this);
  const QSignalBlocker block(t);
  t->setColumnCount(colCount_);
  t->setRowCount(rowCount_);
  for (auto it = cells_.begin(); it != cells_.end(); ++it) {
    const auto [c, r] = it->first;
    if (c >= colCount_ || r >= rowCount_) continue;
    if (QTableWidgetItem* item = t->item(r, c)) item->setText(detail::Q(it->second));
    else t->setItem(r, c, std::make_unique<QTableWidgetItem>(detail::Q(it->second)).release());
  }
  const QColor fixed = detail::ToQColor(clBtnFace);
  for (int r = 0; r < rowCount_ && r < fixedRows_; ++r)
    for (int c = 0; c < colCount_; ++c) {
      if (!t->item(r, c)) t->setItem(r, c, std::make_unique<QTableWidgetItem>().release());
      t->item(r, c)->setBackground(fixed);
    }
  t->setCurrentCell(row_, col_);
}

}  // namespace forms
