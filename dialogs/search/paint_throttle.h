#pragma once
// While the controller list fills, window events run after every row. Painting
// the list after every row, and laying out all of its rows again (which the
// list does after each insertion), costs far more than the row itself, so the
// widgets the fill changes paint and lay out at most once per frame interval,
// and at once when the fill ends. Input events are not held back: buttons stay
// clickable between rows, and the list lays itself out at once whenever it is
// asked where a row is.
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <initializer_list>

namespace zelmar::dialogs {

class PaintThrottle : public QObject {
public:
    explicit PaintThrottle(std::initializer_list<QWidget*> widgets, int frameMs = 25);
    ~PaintThrottle() override;  // painting back on for the widgets that still exist

    // Around each "let pending window events run": at a frame boundary the
    // widgets repaint and lay out during those events, otherwise that waits.
    void beforeEvents();
    void afterEvents();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setPainting(bool on);

    QList<QPointer<QWidget>> widgets_;
    QElapsedTimer sinceFrame_;
    int frameMs_;
    bool painting_ = true;
};

}  // namespace zelmar::dialogs
