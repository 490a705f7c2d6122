#include "grid_model.h"

#include <QFont>

namespace tavrel {

GridModel::GridModel(FlexGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
    grid_.setListener(this);
}

GridModel::~GridModel() { grid_.setListener(nullptr); }

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.rows() - 1;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.cols() - 1;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row() + 1;
    const int col = index.column() + 1;
    if (role == Qt::DisplayRole) return grid_.text(row, col);
    if (role == Qt::FontRole && grid_.bold(row, col)) {
        QFont f;
        f.setBold(true);
        return f;
    }
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return grid_.text(0, section + 1);
    return grid_.text(section + 1, 0);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void GridModel::rowsChanged(int first, int last) {
    if (last < 1) {
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        return;
    }
    first = std::max(first, 1);
    emit dataChanged(index(first - 1, 0), index(last - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, first - 1, last - 1);
}

void GridModel::gridReset() {
    beginResetModel();
    endResetModel();
}

}  // namespace tavrel
