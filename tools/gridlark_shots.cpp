// Takes the screenshots of the documentation: the main window with the tool bar and a session,
// then the same with the settings pop-over open. Run under a real X server, e.g.
//   xvfb-run -a -s "-screen 0 1400x900x24" build/dev/tools/gridlark-shots [--choose-lap N]
//       [--laps-sideways] [--keep-placement] OUT_DIR SESSION.gld
// Writes OUT_DIR/main-window.png and OUT_DIR/settings-popover.png. The window lies as on a first
// start on that screen (the placement kept by an earlier run is forgotten first), or, with
// --keep-placement, where the last run left it, maximised if it was (under a window manager).
#include "app/AppDelegate.h"
#include "app/MVLapsTableView.h"
#include "app/MVMenuView.h"
#include "app/MVWindowPlacement.h"
#include "app/MVZQViewController.h"

#include "widgets/MVButton.h"
#include "widgets/MVTableView.h"
#include "widgets/MainQueueBinding.h"

#include "session/MVGLDFileManager.h"
#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <cstdint>
#include <cstdio>

namespace {

// The whole screen, so that pop-up windows are in the picture, cut to the main window's frame
// and the pop-ups over it.
bool shoot(QMainWindow* window, const QString& file) {
    QScreen* screen = window->screen();
    const QPixmap all = screen->grabWindow(0);
    QRect area = window->frameGeometry();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && (top->windowFlags() & Qt::Popup) == Qt::Popup) {
            area |= top->frameGeometry();
        }
    }
    const QPixmap framed = all.copy(area);
    const bool saved = framed.save(file);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(file));
    return saved;
}

// Posts the check-box click of lap `number` of the first loaded session.
void chooseLapOfFirstSession(int number) {
    const auto sessions = MVGLDFileManager::sharedManager().arrayOfMVLaps();
    if (sessions.empty() || !sessions.front()) return;
    for (const MVLapPtr& lap : sessions.front()->data()) {
        if (lap->number() != static_cast<std::uint64_t>(number)) continue;
        platform::NotificationCenter::defaultCenter().post(MVLapDidSelected, nullptr,
                                                           {{"selectedLap", lap}});
        return;
    }
}

void scrollLapTablesSideways(const MVZQViewController& viewController) {
    for (MVLapsTableView* table : viewController.lapTables()) {
        QScrollBar* bar = table->mainTable()->horizontalScrollBar();
        bar->setValue(bar->maximum());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Gridlark");
    QApplication::setOrganizationName("Gridlark");
    app::MainQueueBinding mainQueue;
    QStringList arguments = QApplication::arguments();
    // --choose-lap N: lap N of the first session is chosen, as by its check box, once the table
    // is filled; --laps-sideways: the lap table is scrolled to its last sector column.
    int chooseLap = 0;
    bool sideways = false;
    bool keepPlacement = false;
    while (arguments.size() > 1 && arguments[1].startsWith(QStringLiteral("--"))) {
        if (arguments[1] == QStringLiteral("--choose-lap") && arguments.size() > 2) {
            chooseLap = arguments[2].toInt();
            arguments.remove(1, 2);
        } else if (arguments[1] == QStringLiteral("--laps-sideways")) {
            sideways = true;
            arguments.remove(1);
        } else if (arguments[1] == QStringLiteral("--keep-placement")) {
            keepPlacement = true;
            arguments.remove(1);
        } else {
            break;
        }
    }
    if (arguments.size() < 3) {
        std::fprintf(stderr,
                     "usage: gridlark-shots [--choose-lap N] [--laps-sideways] "
                     "[--keep-placement] OUT_DIR SESSION.gld...\n");
        return 2;
    }
    const QDir out(arguments[1]);

    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (!keepPlacement) {
        defaults.removeObjectForKey(MVWindowPlacement::frameKey());
        defaults.removeObjectForKey(MVWindowPlacement::maximizedKey());
    }
    AppDelegate delegate;
    for (qsizetype i = 2; i < arguments.size(); ++i) delegate.openFile(arguments[i]);
    delegate.applicationDidFinishLaunching();

    int result = 1;
    bool taken = false;
    QObject::connect(delegate.viewController(), &MVZQViewController::lapTableFilled, [&](int) {
        if (taken) return;
        taken = true;
        if (chooseLap > 0) chooseLapOfFirstSession(chooseLap);
        if (sideways) scrollLapTablesSideways(*delegate.viewController());
        QTimer::singleShot(1500, [&] {
            if (!shoot(delegate.window(), out.filePath("main-window.png"))) {
                QApplication::exit(1);
                return;
            }
            delegate.viewController()->menuView()->buttonSettings()->click();
            QTimer::singleShot(800, [&] {
                result = shoot(delegate.window(), out.filePath("settings-popover.png")) ? 0 : 1;
                QApplication::exit(result);
            });
        });
    });
    QTimer::singleShot(30000, [] { QApplication::exit(3); });
    return QApplication::exec();
}
