// Screenshots of the card import sheet and the open panel's session preview, for the
// documentation: run under Xvfb,
//   card-import-shots OUTDIR
// writes OUTDIR/card-import-wizard.png (a fake card being copied, held halfway),
// OUTDIR/card-import-card-kept.png (a move from a write-protected card: everything copied, the
// recordings still on the card; needs write permissions to bind, or a read-only bind mount),
// OUTDIR/card-import-refused.png (a card whose first session found no circuit, refused because
// its folder in a deep destination already holds files) and OUTDIR/open-panel-preview.png (a
// generated session with a test-pattern video; needs ffmpeg).
//   card-import-shots OUTDIR open-panel-keyboard
// (under a 1024x700 screen) writes OUTDIR/open-panel-keyboard-1024x700.png: the Open command's
// panel with that session chosen by the keyboard alone and its preview beside the list.
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/SessionGenerator.h"

#include "app/AppDelegate.h"
#include "app/MVOpenPanel.h"

#include "transfer/MVFileTransferWizardWindowController.h"
#include "transfer/MVFileWizardView.h"

#include "widgets/MainQueueBinding.h"

#include "session/MVGLDFileManagerFastOperation.h"
#include "session/MVNotifications.h"

#include "platform/ChildProcess.h"
#include "platform/NotificationCenter.h"
#include "platform/OperationQueue.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void settle(int ms = 600) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool shoot(const fs::path& file) {
    settle();
    return QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(file.string()));
}

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

bool shootWizard(QWidget* window, const fs::path& work, const fs::path& file) {
    testing_support::SessionOptions options;
    options.laps = 4;
    const fs::path card = work / "CARD";
    writeFile(card / "media/2026-12-10/Session 1.gld",
              testing_support::generateSession(options).text);
    for (int i = 1; i <= 3; ++i) {
        writeFile(card / ("media/2026-12-10/VID000" + std::to_string(i) + ".mp4"),
                  std::string(4'000'000, static_cast<char>('a' + i)));
    }
    platform::UserDefaults defaults(work / "defaults.json");
    defaults.setString("Default_DestinationFolder", (work / "Documents/Gridlark").string());
    auto lister = std::make_shared<MVRemovableVolumes::FixedLister>(std::vector<fs::path>{card});
    MVFileTransferWizardWindowController wizard(window, lister, defaults);
    wizard.setFolderOpener([](const fs::path&) {});
    wizard.queue().waitUntilAllOperationsAreFinished(std::chrono::seconds(30));
    settle(200);
    std::atomic<bool> held{false}, release{false};
    wizard.transfer().setBeforeFileHook([&](std::size_t done) {
        if (done != 3) return;
        held = true;
        while (!release) std::this_thread::yield();
    });
    wizard.showSheet();
    wizard.move(200, 120);
    wizard.buttonCopyPressed();
    while (!held) settle(50);
    wizard.updateProgressBar();
    const bool ok = shoot(file);
    release = true;
    wizard.transfer().wait();
    settle(200);
    return ok;
}

bool shootCardKept(QWidget* window, const fs::path& work, const fs::path& file) {
    testing_support::SessionOptions options;
    options.laps = 4;
    const fs::path card = work / "LOCKED";
    writeFile(card / "media/2026-12-10/Session 1.gld",
              testing_support::generateSession(options).text);
    for (int i = 1; i <= 3; ++i) {
        writeFile(card / ("media/2026-12-10/VID000" + std::to_string(i) + ".mp4"),
                  std::string(400'000, static_cast<char>('a' + i)));
    }
    platform::UserDefaults defaults(work / "locked-defaults.json");
    defaults.setString("Default_DestinationFolder", (work / "Locked Documents/Gridlark").string());
    auto lister = std::make_shared<MVRemovableVolumes::FixedLister>(std::vector<fs::path>{card});
    MVFileTransferWizardWindowController wizard(window, lister, defaults);
    wizard.setFolderOpener([](const fs::path&) {});
    wizard.queue().waitUntilAllOperationsAreFinished(std::chrono::seconds(30));
    settle(200);
    testing_support::ReadOnlyFolder locked(card);
    if (!locked.ok()) {
        std::fprintf(stderr, "card-import-shots: %s\n", locked.whyNot().c_str());
        return false;
    }
    wizard.showSheet();
    wizard.move(200, 120);
    wizard.buttonMovePressed();
    while (wizard.transfer().status() == MVFolderTransfer::Status::Running) settle(50);
    wizard.transfer().wait();
    settle(300);
    return shoot(file);
}

bool shootRefused(QWidget* window, const fs::path& work, const fs::path& file) {
    testing_support::SessionOptions options;
    options.satellites = 0;  // no fix, so no circuit: "N/A"
    const fs::path card = work / "NOFIX";
    writeFile(card / "media/Session 1.gld", testing_support::generateSession(options).text);
    writeFile(card / "media/VID0001.mp4", std::string(100'000, 'v'));
    const fs::path destination =
        work / "Documents/Club sessions of the season/Second car, wet weather set-up";
    platform::UserDefaults defaults(work / "refused-defaults.json");
    defaults.setString("Default_DestinationFolder", destination.string());
    auto lister = std::make_shared<MVRemovableVolumes::FixedLister>(std::vector<fs::path>{card});
    MVFileTransferWizardWindowController wizard(window, lister, defaults);
    wizard.setFolderOpener([](const fs::path&) {});
    wizard.queue().waitUntilAllOperationsAreFinished(std::chrono::seconds(30));
    settle(200);
    const std::string folder = wizard.directoryTextField()->text().toStdString();
    writeFile(destination / folder / "Session/earlier.gld", "an earlier import");
    wizard.showSheet();
    wizard.move(200, 120);
    wizard.buttonCopyPressed();
    return shoot(file);
}

// Two sessions in work/sessions, the first with a test-pattern video per lap; answers the first.
fs::path writePreviewSessions(const fs::path& work) {
    testing_support::SessionOptions options;
    options.laps = 6;
    options.withVideo = true;
    options.videoFileSeconds = 900;
    const fs::path session = work / "sessions/Larkfield 2026-12-10.gld";
    writeFile(session, testing_support::generateSession(options).text);
    writeFile(work / "sessions/Another day.gld", testing_support::generateSession({}).text);
    auto probe = std::make_shared<MVGLDFileManagerFastOperation>(session);
    platform::OperationQueue queue("shots");
    queue.addOperation(probe);
    queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(30));
    for (const fs::path& video : probe->arrayOfVideoURLs().value_or(std::vector<fs::path>{})) {
        if (video.filename() == "nil.nil") continue;
        platform::runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                              "testsrc=duration=5:size=320x240:rate=25", "-c:v", "mpeg4",
                              video.string()});
    }
    return session;
}

void waitForPreview(const MVFileWizardView* preview) {
    for (int i = 0; i < 100 && !(preview->operation() && preview->operation()->isFinished()); ++i) {
        settle(100);
    }
    settle(1500);
}

void typeKey(QWidget* target, int key, const QString& text = {}) {
    const Qt::KeyboardModifiers modifiers =
        text.size() == 1 && text.front().isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

// The Open command's panel, the session chosen with the keyboard only: its folder typed into the
// name field and Return, the first letters of its name, then Down to the completer's offer.
bool shootKeyboardChoice(const fs::path& work, const fs::path& file) {
    const fs::path session = writePreviewSessions(work);
    AppDelegate delegate;
    MVFileWizardView* preview = nullptr;
    delegate.setOpenPanelAccessory(
        [&preview](QWidget* parent) { return preview = new MVFileWizardView(parent); });
    delegate.window()->show();
    settle();
    delegate.openNewFilePanelWithSender();
    auto* panel = delegate.window()->findChild<QFileDialog*>();
    auto* name = panel ? panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    if (name == nullptr || preview == nullptr) return false;
    settle();
    name->setFocus();
    name->setText(QString::fromStdString(session.parent_path().string()));
    typeKey(name, Qt::Key_Return);
    settle();
    for (const QChar c : QStringLiteral("Lark")) typeKey(name, c.toUpper().unicode(), c);
    settle();
    if (name->completer() && name->completer()->popup()->isVisible()) {
        typeKey(name->completer()->popup(), Qt::Key_Down);
    }
    waitForPreview(preview);
    return shoot(file);
}

bool shootPreview(QWidget* window, const fs::path& work, const fs::path& file) {
    const fs::path session = writePreviewSessions(work);
    // The open panel as the application shows it, at its default size, with the preview beside
    // its file list.
    MVFileWizardView* preview = nullptr;
    QFileDialog& panel = *MVOpenPanel::create(
        window, [&preview](QWidget* parent) { return preview = new MVFileWizardView(parent); });
    panel.setDirectory(QString::fromStdString(session.parent_path().string()));
    panel.move(60, 60);
    panel.show();
    panel.selectFile(QString::fromStdString(session.string()));
    platform::NotificationCenter::defaultCenter().post(MVFileSelected, nullptr, {{"url", session}});
    waitForPreview(preview);
    return shoot(file);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    app::MainQueueBinding mainQueue;
    if (argc < 2) {
        std::fprintf(stderr, "usage: card-import-shots OUTDIR [open-panel-keyboard]\n");
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path work = fs::temp_directory_path() / "card-import-shots";
    fs::remove_all(work);
    fs::create_directories(work);
    if (argc > 2 && std::string(argv[2]) == "open-panel-keyboard") {
        return shootKeyboardChoice(work, out / "open-panel-keyboard-1024x700.png") ? 0 : 1;
    }
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Gridlark"));
    window.resize(1200, 760);
    window.move(20, 20);
    window.show();
    if (!shootWizard(&window, work, out / "card-import-wizard.png")) return 1;
    if (!shootCardKept(&window, work, out / "card-import-card-kept.png")) return 1;
    if (!shootRefused(&window, work, out / "card-import-refused.png")) return 1;
    return shootPreview(&window, work, out / "open-panel-preview.png") ? 0 : 1;
}
