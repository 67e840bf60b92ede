#include "WindowMemory.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTableView>
#include <QWidget>
#include <algorithm>

#include "SettingsStore.h"

namespace {

// A column restored wider than this is a damaged value, not a choice.
constexpr int kMaxColumnWidth = 4000;

QScreen* screenShowingMostOf(const QRect& area) {
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->availableGeometry().intersected(area);
        const qint64 size = qint64(shared.width()) * shared.height();
        if (!shared.isEmpty() && size > bestArea) {
            best = screen;
            bestArea = size;
        }
    }
    return best != nullptr ? best : QGuiApplication::primaryScreen();
}

// The stored place moved and shrunk into the screen that shows most of it
// (the primary one when none does), so that the title bar and the controls
// are reachable. The window never gets smaller than its minimum; one larger
// than the screen keeps its top-left corner there.
QRect onScreen(const QRect& stored, const QSize& minimum) {
    QScreen* screen = screenShowingMostOf(stored);
    const QSize wanted = stored.size().expandedTo(minimum);
    if (screen == nullptr) {
        return QRect(stored.topLeft(), wanted);
    }
    const QRect area = screen->availableGeometry();
    const QSize size = wanted.boundedTo(area.size()).expandedTo(minimum);
    const int right = std::max(area.left(), area.left() + area.width() - size.width());
    const int bottom = std::max(area.top(), area.top() + area.height() - size.height());
    return QRect(QPoint(std::clamp(stored.x(), area.left(), right),
                        std::clamp(stored.y(), area.top(), bottom)),
                 size);
}

// The frame's corner (what move() takes) with the client area's size (what
// resize() takes), of the normal state even while maximized.
QRect placeOf(const QWidget& window) {
    const QPoint frameOffset = window.geometry().topLeft() - window.pos();
    const QRect normal =
        window.isMaximized() || window.isFullScreen() ? window.normalGeometry() : window.geometry();
    if (!normal.isValid()) {
        return {};
    }
    return QRect(normal.topLeft() - frameOffset, normal.size());
}

}  // namespace

WindowMemory::WindowMemory(QWidget* window, QTableView* grid)
    : QObject(window), window_(window), grid_(grid) {
    // Only the operator's resizing is remembered; fitColumns resizes under
    // the fitting_ guard.
    connect(grid_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) { rememberWidth(column, width); });
}

void WindowMemory::restore() {
    const StoredWindow stored = SettingsStore().readWindow();
    widths_ = stored.columnWidths;
    if (stored.geometry) {
        // The layout sets the window's minimum only when it is first shown.
        const QSize minimum = window_->minimumSize().expandedTo(window_->minimumSizeHint());
        const QRect place = onScreen(*stored.geometry, minimum);
        window_->resize(place.size());
        window_->move(place.topLeft());
    }
    if (stored.maximized) {
        window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
    }
}

void WindowMemory::save() const {
    StoredWindow window;
    const QRect place = placeOf(*window_);
    if (place.isValid()) {
        window.geometry = place;
    }
    window.maximized = window_->isMaximized();
    window.columnWidths = widths_;
    // A store that refuses the write keeps the last place; nothing to tell
    // the operator on the way out.
    SettingsStore().saveWindow(window);
}

void WindowMemory::fitColumns() {
    QHeaderView* titles = grid_->horizontalHeader();
    fitting_ = true;
    grid_->resizeColumnsToContents();
    const int count = std::min<int>(titles->count(), widths_.size());
    for (int column = 0; column < count; ++column) {
        if (widths_[column] > 0) {
            titles->resizeSection(
                column, std::clamp(widths_[column], titles->minimumSectionSize(), kMaxColumnWidth));
        }
    }
    fitting_ = false;
}

void WindowMemory::rememberWidth(int column, int width) {
    if (fitting_ || column < 0) {
        return;
    }
    if (widths_.size() <= column) {
        widths_.resize(column + 1, 0);
    }
    widths_[column] = width;
}
