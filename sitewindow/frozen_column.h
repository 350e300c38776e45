#pragma once
// The first column of a table kept in view while the table scrolls right, as
// a spreadsheet freezes it: a second view over the table's left edge shows
// that column alone, on the same model and selection.
#include <QObject>

class QTableView;

namespace zelmar::sitewindow {

class FrozenColumn : public QObject {
    Q_OBJECT
public:
    // `table` has its model; the frozen view is its child.
    explicit FrozenColumn(QTableView* table);
    QTableView* view() const { return frozen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeOver();

    QTableView* table_;
    QTableView* frozen_;
};

}  // namespace zelmar::sitewindow
