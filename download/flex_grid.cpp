#include "flex_grid.h"

namespace tavrel {

namespace {
const QString kEmpty;
constexpr int kDefaultWidthTwips = 960;
}  // namespace

FlexGrid::FlexGrid(int rows, int cols)
    : rows_(rows),
      cols_(cols),
      cells_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols)),
      bold_(cells_.size(), false),
      widths_(static_cast<std::size_t>(cols), kDefaultWidthTwips) {}

const QString& FlexGrid::text(int row, int col) const {
    return contains(row, col) ? cells_[index(row, col)] : kEmpty;
}

bool FlexGrid::setText(int row, int col, const QString& text) {
    if (!contains(row, col)) return false;
    cells_[index(row, col)] = text;
    blank_ = false;
    if (redraw_ && listener_ != nullptr) listener_->rowsChanged(row, row);
    return true;
}

bool FlexGrid::bold(int row, int col) const { return contains(row, col) && bold_[index(row, col)]; }

void FlexGrid::setBold(int row, int col, bool bold) {
    if (!contains(row, col)) return;
    bold_[index(row, col)] = bold;
    blank_ = blank_ && !bold;
    if (redraw_ && listener_ != nullptr) listener_->rowsChanged(row, row);
}

void FlexGrid::clear() {
    if (!blank_) {
        for (QString& cell : cells_) cell.clear();
        bold_.assign(bold_.size(), false);
        blank_ = true;
    }
    if (listener_ != nullptr) listener_->gridReset();
}

int FlexGrid::colWidth(int col) const {
    return col >= 0 && col < cols_ ? widths_[static_cast<std::size_t>(col)] : 0;
}

void FlexGrid::setColWidth(int col, int twips) {
    if (col < 0 || col >= cols_) return;
    widths_[static_cast<std::size_t>(col)] = twips;
    if (listener_ != nullptr) listener_->columnWidthsChanged();
}

void FlexGrid::setRedraw(bool on) {
    const bool wasOff = !redraw_;
    redraw_ = on;
    if (on && wasOff && listener_ != nullptr) listener_->gridReset();
}

void FlexGrid::setCurrent(int row, int col) {
    if (!contains(row, col)) return;
    row_ = row;
    col_ = col;
    if (listener_ != nullptr) listener_->currentCellChanged();
}

}  // namespace tavrel
