#pragma once
// A plain data grid with fixed first row and column, as the window's grids behave: cell text by
// row and column, a current cell, column widths in twips, emphasised (bold) cells and a repaint
// switch. The window shows it through a QAbstractTableModel; the CLI and the tests use it
// directly. Cells outside the grid are neither stored nor reported.

#include <QString>
#include <vector>

namespace tavrel {

class FlexGridListener {
  public:
    virtual ~FlexGridListener() = default;
    // Rows first..last changed (only reported while repainting is on).
    virtual void rowsChanged(int first, int last) = 0;
    // Everything may have changed: repainting came back on, or the grid was cleared.
    virtual void gridReset() = 0;
    virtual void columnWidthsChanged() = 0;
    virtual void currentCellChanged() {}
};

class FlexGrid {
  public:
    FlexGrid(int rows, int cols);

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    bool contains(int row, int col) const {
        return row >= 0 && row < rows_ && col >= 0 && col < cols_;
    }

    const QString& text(int row, int col) const;
    // Returns false (and stores nothing) for a cell the grid does not have.
    bool setText(int row, int col, const QString& text);
    bool bold(int row, int col) const;
    void setBold(int row, int col, bool bold);
    void clear();  // all cell texts and emphasis

    int colWidth(int col) const;  // twips
    void setColWidth(int col, int twips);

    bool redraw() const { return redraw_; }
    void setRedraw(bool on);

    int row() const { return row_; }
    int col() const { return col_; }
    void setCurrent(int row, int col);

    void setListener(FlexGridListener* listener) { listener_ = listener; }

  private:
    std::size_t index(int row, int col) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(col);
    }
    int rows_;
    int cols_;
    std::vector<QString> cells_;
    std::vector<bool> bold_;
    std::vector<int> widths_;
    bool redraw_ = true;
    bool blank_ = true;  // no text or emphasis since the last clear: clearing again is free
    int row_ = 1;
    int col_ = 1;
    FlexGridListener* listener_ = nullptr;
};

}  // namespace tavrel
