#include "grid_model.h"

#include <QFont>
#include <QSet>

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

QString GridModel::tabSeparated(const QModelIndexList& indexes) const {
    if (indexes.isEmpty()) return {};
    int top = indexes.first().row();
    int bottom = top;
    int left = indexes.first().column();
    int right = left;
    QSet<std::pair<int, int>> chosen;
    for (const QModelIndex& i : indexes) {
        top = std::min(top, i.row());
        bottom = std::max(bottom, i.row());
        left = std::min(left, i.column());
        right = std::max(right, i.column());
        chosen.insert({i.row(), i.column()});
    }
    // A whole-grid selection holds 16 384 rows; copy only as far as there is text.
    int last = top - 1;
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c) {
            if (chosen.contains({r, c}) && !grid_.text(r + 1, c + 1).isEmpty()) last = r;
        }
    }
    QString text;
    for (int r = top; r <= last; ++r) {
        for (int c = left; c <= right; ++c) {
            if (c > left) text += u'\t';
            if (chosen.contains({r, c})) text += grid_.text(r + 1, c + 1).trimmed();
        }
        text += u'\n';
    }
    return text;
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
