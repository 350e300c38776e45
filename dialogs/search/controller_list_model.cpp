#include "dialogs/search/controller_list_model.h"

#include "support/support.h"
#include "support/vbool.h"

namespace zelmar::dialogs {

const std::array<ControllerListModel::ColumnSpec, ControllerListModel::kColumnCount>& ControllerListModel::columns() {
    static const std::array<ColumnSpec, kColumnCount> specs = {{
        {4543, 1600}, {4545, 1050}, {4546, 1200}, {4547, 1300}, {4548, 400}, {4550, 1300}, {4549, 2500},
    }};
    return specs;
}

ControllerListModel::ControllerListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ControllerListModel::loadHeaderTexts() {
    for (int i = 0; i < kColumnCount; ++i)
        headers_[i] = support::GetText(columns()[i].text);
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void ControllerListModel::appendRow(const ControllerRow& row) {
    // The cells are made once: the view asks for them on every paint.
    const Cells cells = {row.name,
                         row.serialNo,
                         comm::ListedAddress(row.ipAddress),
                         row.ethernetAddress,
                         support::GetCodeName(toVBool(row.useDhcp)),
                         row.dnsName,
                         row.description};
    const int at = int(rows_.size());
    beginInsertRows({}, at, at);
    rows_.append(cells);
    endInsertRows();
}

void ControllerListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

QString ControllerListModel::serialNoAt(int row) const {
    return row >= 0 && row < rows_.size() ? rows_[row][ColSerialNo] : QString();
}

int ControllerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int ControllerListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ControllerListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return rows_[index.row()][index.column()];
    case Qt::DecorationRole:
        if (index.column() == ColName && !rowIcon_.isNull())
            return rowIcon_;
        return {};
    default:
        return {};
    }
}

QVariant ControllerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return headers_[section];
}

Qt::ItemFlags ControllerListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

}  // namespace zelmar::dialogs
