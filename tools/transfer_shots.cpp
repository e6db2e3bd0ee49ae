// Screenshots of the export and update sheets, for the documentation: run under Xvfb,
//   transfer-shots OUTDIR
// writes OUTDIR/csv-export-sheet.png (after an export), OUTDIR/video-export-sheet.png (after a real
// cut of a generated clip, so ffmpeg must be installed), OUTDIR/update-sheet.png (against an update
// server of its own on 127.0.0.1 that offers newer versions) and
// OUTDIR/update-sheet-redirected.png (the same server redirecting its catalogues to plain http),
// OUTDIR/update-sheet-unreadable.png (the program's catalogue answering status 500, the circuit
// database's not a catalogue), OUTDIR/video-export-replace.png (the question before a second
// cut of the same lap replaces the first) and OUTDIR/csv-export-replace.png (the same question
// before a second CSV export of the same sessions replaces the first).
#include "transfer/DownloadViewController.h"
#include "transfer/MVCSVFileWindowController.h"
#include "transfer/MVExportVideoWindowController.h"

#include "widgets/MVTextFieldSupportDrag.h"
#include "widgets/MainQueueBinding.h"

#include "platform/ChildProcess.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

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

// Presses a sheet's button that asks before it replaces a file, shoots the question and answers
// Cancel.
bool shootQuestion(const std::filesystem::path& file, const std::function<void()>& press) {
    bool asked = false;
    QTimer::singleShot(0, [&] {
        asked = shoot(file);
        if (auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            alert->button(QMessageBox::Cancel)->click();
        }
    });
    press();
    return asked;
}

// The update sheet against a local server offering a newer program and circuit database, or
// redirecting both catalogues to plain http addresses.
enum class Catalogues { Newer, RedirectedToHttp, Unreadable };

bool shootUpdateSheet(QWidget* window, const std::filesystem::path& work,
                      const std::filesystem::path& file,
                      Catalogues catalogues = Catalogues::Newer) {
    httplib::Server server;
    int port = 0;
    if (catalogues == Catalogues::Unreadable) {
        server.Get("/Updates/Gridlark for macOS/Catalogue.xml", [](const auto&, auto& response) {
            response.status = 500;
            response.set_content("Internal Server Error", "text/plain");
        });
        server.Get("/Updates/Circuit Database/CircuitDatabaseCatalogue.xml",
                   [](const auto&, auto& response) {
                       response.set_content("<html><body>Maintenance</body></html>", "text/html");
                   });
    }
    if (catalogues == Catalogues::RedirectedToHttp) {
        server.Get("/Updates/.*", [&port](const auto& request, auto& response) {
            response.set_redirect(
                "http://127.0.0.1:" + std::to_string(port) + "/plain" + request.path, 302);
        });
    }
    server.Get("/Updates/Gridlark for macOS/Catalogue.xml", [](const auto&, auto& response) {
        response.set_content(
            "<Catalogue LatestVersion=\"0.2.0\" DownloadUrl=\"Gridlark for macOS\\Gridlark "
            "0.2.0.deb\"/>",
            "text/xml");
    });
    server.Get("/Updates/Circuit Database/CircuitDatabaseCatalogue.xml",
               [](const auto&, auto& response) {
                   response.set_content(
                       "<Catalogue LatestVersion=\"2\" DownloadUrl=\"Circuit "
                       "Database\\CircuitDataBase_v2.zip\"/>",
                       "text/xml");
               });
    port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });
    MVVersionManager::Config config;
    config.updateHost = "http://127.0.0.1:" + std::to_string(port);
    config.allowLoopbackHttpForTests = true;
    config.supportFolder = work / "Morvane";
    MVVersionManager manager(config);
    bool ok = false;
    {
        DownloadViewController sheet(window, manager);
        QEventLoop loop;
        QObject::connect(&sheet, &DownloadViewController::versionsRefreshed, &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        sheet.showSheet();
        sheet.move(240, 120);
        loop.exec();
        ok = shoot(file);
    }
    server.stop();
    serving.join();
    return ok;
}

// A session of three laps of three sectors, for the CSV export.
MVLapsPtr csvSession(const std::string& name) {
    auto laps = MVLaps::instance();
    for (std::uint64_t number = 1; number <= 3; ++number) {
        auto lap = MVLap::instance();
        lap->setGldFile(name);
        lap->setNumber(number);
        lap->setDistance(3000);
        const double start = 70.0 * static_cast<double>(number);
        auto sectors = MVSectors::instance();
        for (double boundary : {0.0, 21.3, 44.1, 64.8 + 0.4 * static_cast<double>(number)}) {
            sectors->addValue(start + boundary);
        }
        lap->setDuration(sectors->values().back() - start);
        lap->setSectors(sectors);
        laps->addLap(lap);
    }
    return laps;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    app::MainQueueBinding mainQueue;
    if (argc < 2) {
        std::fprintf(stderr, "usage: transfer-shots OUTDIR\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "transfer-shots";
    std::filesystem::remove_all(work);  // a cut of an earlier run would be asked about
    std::filesystem::create_directories(work / "Exports");

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Gridlark"));
    window.resize(1000, 640);
    window.move(40, 40);
    window.show();

    {
        // After an export of two sessions: the sheet says where the file went.
        MVGLDFileManager sessions;
        MVLoadedFiles laps;
        for (const char* name : {"Larkfield 2026-05-14", "Another day"}) {
            laps.appendLaps(
                {csvSession(name), MVLaps::instance(), MVLaps::instance(), MVLaps::instance()});
        }
        sessions.replaceLoadedFiles(std::move(laps));
        MVCSVFileWindowController sheet(&window, sessions);
        sheet.setSpeedOf([](const MVLap& lap) { return 180.0 + lap.number(); });
        sheet.destinationTextField()->setUrl(work / "Exports");
        sheet.showSheet();
        sheet.move(240, 120);
        sheet.exportButton()->click();
        if (!shoot(out / "csv-export-sheet.png")) return 1;
        if (!shootQuestion(out / "csv-export-replace.png", [&] { sheet.exportButton()->click(); }))
            return 1;
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
    if (!shoot(out / "video-export-sheet.png")) return 1;
    // The same lap again: the sheet asks before the first cut is replaced (then Cancel).
    if (!shootQuestion(out / "video-export-replace.png", [&] { sheet.buttonProcess()->click(); }))
        return 1;
    sheet.hide();
    if (!shootUpdateSheet(&window, work, out / "update-sheet.png")) return 1;
    if (!shootUpdateSheet(&window, work, out / "update-sheet-unreadable.png",
                          Catalogues::Unreadable)) {
        return 1;
    }
    return shootUpdateSheet(&window, work, out / "update-sheet-redirected.png",
                            Catalogues::RedirectedToHttp)
               ? 0
               : 1;
}
