#pragma once

// Fresh shared objects for the chart pane's tests (cursor, options, selection, file manager,
// notification centre), and mouse events sent straight to a widget.
#include "tests/support/TempDir.h"

#include "views/MVChartShared.h"

#include "session/MVLap.h"
#include "session/MVSectors.h"

#include "platform/UserDefaults.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <vector>

namespace testing_support {

struct ChartWorld {
    TempDir dir;
    platform::UserDefaults defaults{dir / "defaults.json"};
    MVOptionsAndSettings options{defaults};
    MVGlobalData global{options};
    MVSynchronization sync{global};
    MVGLDFileManager manager;
    platform::NotificationCenter center;

    ChartWorld() { options.safelyChangeMVModeWithoutKVO(0); }
    MVChartShared shared() { return {&sync, &options, &global, &manager, &center}; }
};

inline void sendMouse(QWidget* w, QEvent::Type type, QPointF at,
                      Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, at, w->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, modifiers);
    QApplication::sendEvent(w, &event);
}

inline void click(QWidget* w, QPointF at) {
    sendMouse(w, QEvent::MouseButtonPress, at);
    sendMouse(w, QEvent::MouseButtonRelease, at);
}

inline void drag(QWidget* w, QPointF from, QPointF to,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    sendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
    sendMouse(w, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, modifiers);
    sendMouse(w, QEvent::MouseMove, to, Qt::LeftButton, modifiers);
    sendMouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, modifiers);
}

inline void wheel(QWidget* w, int deltaY) {
    const QPointF at(10, 10);
    QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, deltaY), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

// A lap with the given sector boundaries (session seconds) and, when asked, a position
// alignment of one value per `step` seconds over its duration.
inline MVLapPtr lapWithSectors(std::vector<double> boundaries, bool whole = false) {
    MVLapPtr lap = MVLap::instance();
    auto sectors = MVSectors::instance();
    sectors->setData(boundaries);
    lap->setSectors(sectors);
    lap->setIsWholeFileLap(whole);
    lap->setTimestampStart(boundaries.empty() ? 0.0 : boundaries.front());
    lap->setDuration(boundaries.size() < 2 ? 0.0 : boundaries.back() - boundaries.front());
    return lap;
}

inline void alignEverySecond(const MVLapPtr& lap, double offset = 0.0, double scale = 1.0) {
    std::vector<double> p;
    for (int i = 0; i <= static_cast<int>(lap->duration()); ++i) p.push_back(offset + i * scale);
    lap->positionIndexes()->setData(p);
}

}  // namespace testing_support
