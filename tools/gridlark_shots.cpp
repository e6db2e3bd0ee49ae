// Takes the screenshots of the documentation: the main window with the tool bar and a session,
// then the same with the settings pop-over open. Run under a real X server, e.g.
//   xvfb-run -a -s "-screen 0 1400x900x24" build/dev/tools/gridlark-shots OUT_DIR SESSION.gld
// Writes OUT_DIR/main-window.png and OUT_DIR/settings-popover.png. The window lies as on a first
// start on that screen (the placement kept by an earlier run is forgotten first).
#include "app/AppDelegate.h"
#include "app/MVMenuView.h"
#include "app/MVWindowPlacement.h"
#include "app/MVZQViewController.h"

#include "widgets/MVButton.h"
#include "widgets/MainQueueBinding.h"

#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

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

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Gridlark");
    QApplication::setOrganizationName("Gridlark");
    app::MainQueueBinding mainQueue;
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: gridlark-shots OUT_DIR SESSION.gld...\n");
        return 2;
    }
    const QDir out(arguments[1]);

    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.removeObjectForKey(MVWindowPlacement::frameKey());
    defaults.removeObjectForKey(MVWindowPlacement::maximizedKey());
    AppDelegate delegate;
    for (qsizetype i = 2; i < arguments.size(); ++i) delegate.openFile(arguments[i]);
    delegate.applicationDidFinishLaunching();

    int result = 1;
    bool taken = false;
    QObject::connect(delegate.viewController(), &MVZQViewController::lapTableFilled, [&](int) {
        if (taken) return;
        taken = true;
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
