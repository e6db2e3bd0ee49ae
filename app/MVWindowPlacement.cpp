#include "app/MVWindowPlacement.h"

#include "app/MVMenuView.h"
#include "app/MVStatusView.h"

#include "views/MVChartToolBarView.h"
#include "views/MVTrackToolBarView.h"
#include "views/MVVideoToolBarView.h"

#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>
#include <optional>

namespace MVWindowPlacement {

namespace {

// The divider between two panes (MVSplitView).
constexpr int kDivider = 4;

std::optional<QRect> savedFrame(const platform::UserDefaults& defaults) {
    const auto value = defaults.objectForKey(frameKey());
    if (!value || !value->is_object()) return std::nullopt;
    int numbers[4] = {};
    const char* const names[4] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        const auto found = value->find(names[i]);
        if (found == value->end() || !found->is_number_integer()) return std::nullopt;
        const auto number = found->get<long long>();
        if (number < -1000000 || number > 1000000) return std::nullopt;
        numbers[i] = static_cast<int>(number);
    }
    if (numbers[2] <= 0 || numbers[3] <= 0) return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

// `start` moved the least way so that `length` fits between `low` and `high` (from `low` when it
// cannot).
int clampStart(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length));
}

}  // namespace

const char* frameKey() {
    return "Default_MainWindowFrame";
}

const char* maximizedKey() {
    return "Default_MainWindowMaximized";
}

QRect firstPlacement(const QRect& available, const QSize& minimum) {
    const QRect area = available.marginsRemoved(kFrameAllowance);
    const QSize size = kPreferredSize.boundedTo(area.size()).expandedTo(minimum);
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(area.center());
    frame.moveTopLeft({clampStart(frame.left(), size.width(), area.left(), area.right() + 1),
                       clampStart(frame.top(), size.height(), area.top(), area.bottom() + 1)});
    return frame;
}

QRect fitInside(const QRect& frame, const QRect& available, const QSize& minimum) {
    if (available.contains(frame)) return frame;
    const QRect area = available.marginsRemoved(kFrameAllowance);
    const QSize size = frame.size().boundedTo(area.size()).expandedTo(minimum);
    return {clampStart(frame.left(), size.width(), area.left(), area.right() + 1),
            clampStart(frame.top(), size.height(), area.top(), area.bottom() + 1), size.width(),
            size.height()};
}

QSize minimumSize(const QMainWindow& window) {
    // Tool bars made only to be measured: the panes make theirs once a session is open.
    const MVMenuView menu;
    const MVStatusView status;
    const MVTrackToolBarView track;
    const MVVideoToolBarView video;
    const MVChartToolBarView chart;
    const int left = track.minimumSizeHint().width();
    const int right =
        std::max(video.minimumSizeHint().width(), chart.minimumSizeHint().width()) + kDivider;
    // The left panel takes a third of the width, the right part the rest.
    const int width = std::max({menu.minimumSizeHint().width(), 3 * left, (3 * right + 1) / 2});
    const int menuBar = window.menuBar() ? window.menuBar()->sizeHint().height() : 0;
    const int height = menuBar + menu.sizeHint().height() + status.minimumSizeHint().height() +
                       2 * kLeastPaneHeight + kDivider;
    return {width, height};
}

void save(const QMainWindow& window, platform::UserDefaults& defaults) {
    const bool maximized = (window.windowState() & Qt::WindowMaximized) != 0;
    const bool normal = (window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
    const QRect frame = normal ? window.geometry() : window.normalGeometry();
    if (frame.isValid()) {
        defaults.setObject(frameKey(), {{"x", frame.x()},
                                        {"y", frame.y()},
                                        {"width", frame.width()},
                                        {"height", frame.height()}});
    }
    defaults.setBool(maximizedKey(), maximized);
}

bool restore(QMainWindow& window, const platform::UserDefaults& defaults) {
    const std::optional<QRect> saved = savedFrame(defaults);
    QScreen* screen = saved ? QGuiApplication::screenAt(saved->center()) : nullptr;
    if (screen == nullptr) screen = window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return false;
    const QRect available = screen->availableGeometry();
    const QSize minimum = window.minimumSize();
    window.setGeometry(saved ? fitInside(*saved, available, minimum)
                             : firstPlacement(available, minimum));
    return saved && defaults.boolForKey(maximizedKey());
}

}  // namespace MVWindowPlacement
