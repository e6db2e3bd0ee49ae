// Screenshots of the export sheets, for the documentation: run under Xvfb,
//   transfer-shots OUTDIR
// writes OUTDIR/csv-export-sheet.png and OUTDIR/video-export-sheet.png (after a real cut of a
// generated clip, so ffmpeg must be installed).
#include "platform/ChildProcess.h"
#include "transfer/MVCSVFileWindowController.h"
#include "transfer/MVExportVideoWindowController.h"
#include "widgets/MVTextFieldSupportDrag.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <filesystem>

namespace {

void settle(int ms = 400) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool shoot(const std::filesystem::path& file) {
    settle();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    return screen.save(QString::fromStdString(file.string()));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: transfer-shots OUTDIR\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "transfer-shots";
    std::filesystem::create_directories(work / "Exports");

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Gridlark"));
    window.resize(1000, 640);
    window.move(40, 40);
    window.show();

    {
        MVCSVFileWindowController sheet(&window);
        sheet.destinationTextField()->setUrl(work / "Exports");
        sheet.showSheet();
        sheet.move(240, 120);
        if (!shoot(out / "csv-export-sheet.png")) return 1;
    }

    const std::filesystem::path clip = work / "Session 2026-05-14.mp4";
    const auto made = platform::runProcess(
        {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
         "testsrc=duration=20:size=320x240:rate=25", "-c:v", "mpeg4", "-g", "25", clip.string()});
    if (!made.succeeded()) return 1;
    auto lap = MVLap::instance();
    lap->setNumber(7);
    lap->setDuration(9.87);
    lap->setVideoTimestampStart(6500);
    lap->setVideoTimestampEnd(16370);
    lap->setVideoURLs(std::vector<std::filesystem::path>{clip});

    MVExportVideoWindowController sheet(&window);
    sheet.directoryTextField()->setUrl(work / "Exports");
    sheet.setLap(lap);
    sheet.showSheet();
    sheet.move(240, 120);
    QEventLoop loop;
    QObject::connect(&sheet, &MVExportVideoWindowController::exportFinished, &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    sheet.buttonProcess()->click();
    loop.exec();
    return shoot(out / "video-export-sheet.png") ? 0 : 1;
}
