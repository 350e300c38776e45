#include "sitewindow/frozen_column.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

namespace zelmar::sitewindow {

FrozenColumn::FrozenColumn(QTableView* table) : QObject(table), table_(table), frozen_(new QTableView(table)) {
    frozen_->setObjectName(QStringLiteral("frozenSerialColumn"));
    frozen_->setModel(table->model());
    frozen_->setSelectionModel(table->selectionModel());
    frozen_->setFocusPolicy(Qt::NoFocus);  // the keyboard stays in the table
    frozen_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    frozen_->setSelectionMode(table->selectionMode());
    frozen_->setSelectionBehavior(table->selectionBehavior());
    frozen_->setAlternatingRowColors(table->alternatingRowColors());
    // A click on its header sorts the table, as a click on the table's own would.
    connect(frozen_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) {
        QHeaderView* header = table_->horizontalHeader();
        const bool ascending = header->sortIndicatorSection() != 0 || header->sortIndicatorOrder() == Qt::DescendingOrder;
        table_->sortByColumn(0, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, frozen_->horizontalHeader(),
            &QHeaderView::setSortIndicator);
    frozen_->horizontalHeader()->setSortIndicatorShown(true);
    frozen_->horizontalHeader()->setSectionsClickable(true);
    frozen_->horizontalHeader()->setSortIndicator(table->horizontalHeader()->sortIndicatorSection(),
                                                  table->horizontalHeader()->sortIndicatorOrder());
    frozen_->verticalHeader()->hide();
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollMode(table->verticalScrollMode());
    frozen_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->setContextMenuPolicy(Qt::NoContextMenu);
    for (int c = 1; c < table->model()->columnCount(); ++c)
        frozen_->setColumnHidden(c, true);
    frozen_->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    table->viewport()->stackUnder(frozen_);

    connect(table->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (logical == 0) {
            frozen_->setColumnWidth(0, size);
            placeOver();
        }
    });
    connect(table->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) { frozen_->setRowHeight(logical, size); });
    connect(table->verticalHeader(), &QHeaderView::geometriesChanged, this, [this] { placeOver(); });
    connect(table->horizontalHeader(), &QHeaderView::geometriesChanged, this, [this] { placeOver(); });
    connect(table->verticalScrollBar(), &QAbstractSlider::valueChanged, frozen_->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(frozen_->verticalScrollBar(), &QAbstractSlider::valueChanged, table->verticalScrollBar(), &QAbstractSlider::setValue);
    connect(table->model(), &QAbstractItemModel::modelReset, this, [this] {
        frozen_->verticalHeader()->setDefaultSectionSize(table_->verticalHeader()->defaultSectionSize());
    });
    frozen_->verticalHeader()->setDefaultSectionSize(table->verticalHeader()->defaultSectionSize());
    frozen_->setColumnWidth(0, table->columnWidth(0));
    table->installEventFilter(this);
    placeOver();
    frozen_->show();
}

bool FrozenColumn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        placeOver();
    return QObject::eventFilter(watched, event);
}

void FrozenColumn::placeOver() {
    const int frame = table_->frameWidth();
    const int header = table_->verticalHeader()->isVisible() ? table_->verticalHeader()->width() : 0;
    frozen_->setGeometry(header + frame, frame, table_->columnWidth(0),
                         table_->viewport()->height() + table_->horizontalHeader()->height());
}

}  // namespace zelmar::sitewindow
