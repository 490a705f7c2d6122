#pragma once
// Shows a FlexGrid in a QTableView: the fixed first row becomes the horizontal header and the
// fixed first column the vertical header, so the grid's 16384 rows cost nothing until shown.

#include <QAbstractTableModel>

#include "flex_grid.h"

namespace tavrel {

class GridModel final : public QAbstractTableModel, public FlexGridListener {
    Q_OBJECT
  public:
    GridModel(FlexGrid& grid, QObject* parent = nullptr);
    ~GridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    FlexGrid& grid() { return grid_; }
    // The cells as a spreadsheet pastes them: the rows of the smallest rectangle around
    // `indexes`, tab between cells, a line per row, cells outside the selection empty, rows
    // past the last one with text left out.
    QString tabSeparated(const QModelIndexList& indexes) const;

  signals:
    void widthsChanged();
    void currentChanged(int row, int col);

  private:
    void rowsChanged(int first, int last) override;
    void gridReset() override;
    void columnWidthsChanged() override { emit widthsChanged(); }
    void currentCellChanged() override { emit currentChanged(grid_.row(), grid_.col()); }

    FlexGrid& grid_;
};

// Pixels for a width in twips at 15 twips per pixel.
inline int twipsToPixels(int twips) { return twips / 15; }

}  // namespace tavrel
