#pragma once

#include <QList>
#include <QObject>

class QTableView;
class QWidget;

// Keeps the window's place, size and grid column widths between runs, in the
// store of the connection settings. A place that no screen shows any more
// (a monitor unplugged, a smaller desktop) is moved back onto a screen.
class WindowMemory : public QObject {
    Q_OBJECT

public:
    WindowMemory(QWidget* window, QTableView* grid);

    // Puts the window where it was left; the designed place when nothing
    // readable was stored.
    void restore();
    // Stores the window as it is now. Silent when the store cannot be written.
    void save() const;
    // Fits the columns to their contents, then gives back the widths the
    // operator chose for them.
    void fitColumns();

private:
    void rememberWidth(int column, int width);

    QWidget* window_;
    QTableView* grid_;
    QList<int> widths_;  // by column position, 0 where the operator chose none
    bool fitting_ = false;
};
