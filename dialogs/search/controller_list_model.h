#pragma once
// The controller list of the search dialog as a table: one row per controller
// entry, in entry order, and the seven columns the technician reads. The
// model applies the list's cell rules (an address "0.0.0.0" shows empty, DHCP
// shows as the catalogue's Yes/No, every row has the controller icon); the
// dialog reads the entries and shows the model in its list view.
#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>

#include "comm/controller_records.h"

namespace zelmar::dialogs {

// What one controller entry gives its row (comm/controller_records.h).
using ControllerRow = comm::ListedController;

class ControllerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName, ColSerialNo, ColIpAddress, ColEthernetAddress, ColDhcp, ColDnsName, ColDescription };
    static constexpr int kColumnCount = 7;

    // A column's header text number and its stored width in twips.
    struct ColumnSpec {
        std::int32_t text;
        int widthTwips;
    };
    static const std::array<ColumnSpec, kColumnCount>& columns();

    explicit ControllerListModel(QObject* parent = nullptr);

    // Headers from the text catalogue of the language in use.
    void loadHeaderTexts();
    void setRowIcon(const QIcon& icon) { rowIcon_ = icon; }

    void appendRow(const ControllerRow& row);
    void clear();
    QString serialNoAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    using Cells = std::array<QString, kColumnCount>;
    QList<Cells> rows_;
    std::array<QString, kColumnCount> headers_;
    QIcon rowIcon_;
};

}  // namespace zelmar::dialogs
