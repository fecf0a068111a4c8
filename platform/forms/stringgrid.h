#pragma once
// The string grid: ColCount x RowCount cells of text, a current cell (Col, Row), and the
// first FixedCols columns and FixedRows rows drawn as headers.
#include <map>
#include <string>
#include <utility>

#include "forms/control.h"

namespace forms {

class TStringGrid : public TWinControl {
 public:
  TStringGrid(TComponent* Owner, TWinControl* Parent);

  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  // Counts below 1 become 1. A grid holds at most MaxCells cells: larger counts throw
  // std::length_error and leave the grid as it was.
  void SetColCount(int n);
  void SetRowCount(int n);
  static constexpr long long MaxCells = 1 << 20;
  int FixedCols() const { return fixedCols_; }
  int FixedRows() const { return fixedRows_; }
  void SetFixedCols(int n);
  void SetFixedRows(int n);
  // The current cell; a position outside the grid throws std::out_of_range.
  int Col() const { return col_; }
  int Row() const { return row_; }
  void SetCol(int c);
  void SetRow(int r);
  // Cells outside the grid read as empty; writing one outside it throws std::out_of_range.
  std::string Cells(int col, int row) const;
  void SetCells(int col, int row, const std::string& text);

 private:
  void Rebuild();
  int colCount_ = 5, rowCount_ = 5, fixedCols_ = 1, fixedRows_ = 1, col_ = 1, row_ = 1;
  std::map<std::pair<int, int>, std::string> cells_;
};

}  // namespace forms
