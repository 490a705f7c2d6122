#include "flex_grid.h"

#include <algorithm>
#include <cstring>

namespace tavrel {

namespace {
constexpr int kDefaultWidthTwips = 960;
}  // namespace

FlexGrid::FlexGrid(int rows, int cols)
    : rows_(std::max(rows, 0)),
      cols_(std::max(cols, 0)),
      chunks_(static_cast<std::size_t>(cols_)),
      bold_(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_), false),
      widths_(static_cast<std::size_t>(cols_), kDefaultWidthTwips) {
    for (auto& column : chunks_)
        column.resize(static_cast<std::size_t>((rows_ + kChunkRows - 1) / kChunkRows));
}

const FlexGrid::Cell* FlexGrid::findCell(int row, int col) const {
    if (!contains(row, col)) return nullptr;
    const auto& chunk =
        chunks_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row / kChunkRows)];
    return chunk ? &chunk[static_cast<std::size_t>(row % kChunkRows)] : nullptr;
}

QStringView FlexGrid::view(int row, int col) const {
    const Cell* cell = findCell(row, col);
    return cell == nullptr ? QStringView() : QStringView(cell->data, cell->size);
}

QString FlexGrid::text(int row, int col) const { return view(row, col).toString(); }

char16_t* FlexGrid::take(std::size_t size) {
    if (size > kPageChars) {
        // Longer than a page: a place of its own, beside the page being filled.
        pages_.push_back(std::make_unique<char16_t[]>(size));
        return pages_.back().get();
    }
    if (pageLeft_ < size) {
        pages_.push_back(std::make_unique<char16_t[]>(kPageChars));
        page_ = pages_.back().get();
        pageLeft_ = kPageChars;
    }
    char16_t* at = page_ + (kPageChars - pageLeft_);
    pageLeft_ -= size;
    return at;
}

FlexGrid::Cell& FlexGrid::roomFor(int row, int col, std::size_t size) {
    auto& chunk =
        chunks_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row / kChunkRows)];
    if (!chunk) chunk = std::make_unique<Cell[]>(kChunkRows);
    Cell& cell = chunk[static_cast<std::size_t>(row % kChunkRows)];
    live_ = live_ - cell.size + size;
    if (size <= cell.size) {
        // The old text's place takes the new one: a cell rewritten over and over stays put.
        dead_ += cell.size - size;
    } else {
        dead_ += cell.size;
        cell.data = take(size);
    }
    cell.size = static_cast<std::uint32_t>(size);
    return cell;
}

void FlexGrid::written(int row) {
    blank_ = false;
    changedFrom_ = std::min(changedFrom_, row);
    if (dead_ > live_ && dead_ > 4 * kPageChars) compact();
    if (redraw_ && listener_ != nullptr) listener_->rowsChanged(row, row);
}

bool FlexGrid::setText(int row, int col, QStringView text) {
    if (!contains(row, col)) return false;
    const auto size = static_cast<std::size_t>(text.size());
    // The new text may be a view of this very cell or of another in the pages: copy it before
    // any page is dropped, with memmove for the overlapping case.
    Cell& cell = roomFor(row, col, size);
    if (size > 0) std::memmove(cell.data, text.utf16(), size * sizeof(char16_t));
    written(row);
    return true;
}

bool FlexGrid::setText(int row, int col, QLatin1StringView text) {
    if (!contains(row, col)) return false;
    const auto size = static_cast<std::size_t>(text.size());
    Cell& cell = roomFor(row, col, size);
    for (std::size_t i = 0; i < size; ++i)
        cell.data[i] = static_cast<unsigned char>(text.data()[i]);
    written(row);
    return true;
}

void FlexGrid::compact() {
    std::vector<std::unique_ptr<char16_t[]>> old;
    old.swap(pages_);
    page_ = nullptr;
    pageLeft_ = 0;
    for (auto& column : chunks_) {
        for (auto& chunk : column) {
            if (!chunk) continue;
            for (int i = 0; i < kChunkRows; ++i) {
                Cell& cell = chunk[static_cast<std::size_t>(i)];
                if (cell.size == 0) continue;
                char16_t* at = take(cell.size);
                std::memcpy(at, cell.data, cell.size * sizeof(char16_t));
                cell.data = at;
            }
        }
    }
    dead_ = 0;
}

bool FlexGrid::bold(int row, int col) const { return contains(row, col) && bold_[index(row, col)]; }

void FlexGrid::setBold(int row, int col, bool bold) {
    if (!contains(row, col)) return;
    bold_[index(row, col)] = bold;
    changedFrom_ = std::min(changedFrom_, row);
    blank_ = blank_ && !bold;
    if (redraw_ && listener_ != nullptr) listener_->rowsChanged(row, row);
}

void FlexGrid::clear() {
    if (!blank_) {
        for (auto& column : chunks_)
            for (auto& chunk : column) chunk.reset();
        pages_.clear();
        page_ = nullptr;
        pageLeft_ = 0;
        live_ = 0;
        dead_ = 0;
        bold_.assign(bold_.size(), false);
        blank_ = true;
    }
    changedFrom_ = 0;
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
