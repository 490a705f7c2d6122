#pragma once
// A plain data grid with fixed first row and column, as the window's grids behave: cell text by
// row and column, a current cell, column widths in twips, emphasised (bold) cells and a repaint
// switch. The window shows it through a QAbstractTableModel; the CLI and the tests use it
// directly. Cells outside the grid are neither stored nor reported.
//
// A full records grid is 16 384 rows x 10 columns, most of them never written. Cell texts live
// in pages of characters the grid owns, and a column's cells are made 256 rows at a time when
// first written: a download costs no allocation per cell, columns nobody writes cost nothing,
// and clearing or dropping the grid frees a few dozen blocks instead of a hundred thousand
// strings.

#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
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

    QString text(int row, int col) const;
    // The text in place, without a copy: valid until the cell is written or the grid cleared.
    QStringView view(int row, int col) const;
    // Returns false (and stores nothing) for a cell the grid does not have.
    bool setText(int row, int col, QStringView text);
    bool setText(int row, int col, const QString& text) {
        return setText(row, col, QStringView(text));
    }
    // Plain ASCII (numbers, row numbers) straight from bytes, without a QString of its own.
    bool setText(int row, int col, QLatin1StringView text);
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

    // The lowest row whose text or emphasis changed (or that was cleared) since the last
    // markUnchanged(); rows() when none did. Lets a reader that copied rows out know whether
    // its copy still holds.
    int changedFrom() const { return changedFrom_; }
    void markUnchanged() { changedFrom_ = rows_; }

  private:
    struct Cell {
        char16_t* data = nullptr;
        std::uint32_t size = 0;
    };
    static constexpr int kChunkRows = 256;
    static constexpr std::size_t kPageChars = 32768;

    std::size_t index(int row, int col) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(col);
    }
    const Cell* findCell(int row, int col) const;
    // The cell, its block made on first use, given room for `size` characters.
    Cell& roomFor(int row, int col, std::size_t size);
    // Room for `size` characters in the pages.
    char16_t* take(std::size_t size);
    void written(int row);
    // Moves every text into fresh pages when rewritten cells left more dead text than live.
    void compact();

    int rows_;
    int cols_;
    // chunks_[col][row / kChunkRows]: that column's cells for those rows, or none yet.
    std::vector<std::vector<std::unique_ptr<Cell[]>>> chunks_;
    std::vector<std::unique_ptr<char16_t[]>> pages_;  // every page, full or not
    char16_t* page_ = nullptr;                        // the page being filled
    std::size_t pageLeft_ = 0;                        // its characters still free
    std::size_t live_ = 0;                            // characters the cells hold
    std::size_t dead_ = 0;                            // characters left behind by rewritten cells
    std::vector<bool> bold_;
    std::vector<int> widths_;
    bool redraw_ = true;
    bool blank_ = true;  // no text or emphasis since the last clear: clearing again is free
    int changedFrom_ = 0;
    int row_ = 1;
    int col_ = 1;
    FlexGridListener* listener_ = nullptr;
};

}  // namespace tavrel
