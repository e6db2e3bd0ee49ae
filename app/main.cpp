#include "app/MainQueueBinding.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Gridlark");
    QApplication::setOrganizationName("Gridlark");
    app::MainQueueBinding mainQueue;

    QMainWindow window;
    window.setWindowTitle("Gridlark");
    window.resize(1280, 800);
    window.show();
    return QApplication::exec();
}
