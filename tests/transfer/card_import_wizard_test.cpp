#include "tests/support/MainQueuePump.h"
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "transfer/MVFileTransferWizardWindowController.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include "session/ZORFileLog.h"

#include "platform/Clock.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include <sys/mount.h>

namespace {

using testing_support::MainQueuePump;
using testing_support::readAll;
using testing_support::TempDir;
namespace fs = std::filesystem;

class CardImportWizardTest : public ::testing::Test {
  protected:
    CardImportWizardTest() {
        clock.install();
        // 2026-12-10 12:00 UTC: the same date in every time zone the tests run in.
        clock.setWallTime(std::chrono::system_clock::from_time_t(1796904000));
        defaults.setString("Default_DestinationFolder", (dir / "Documents/Gridlark").string());
        testing_support::SessionOptions options;
        options.laps = 2;
        session = testing_support::generateSession(options).text;
    }
    ~CardImportWizardTest() override {
        wizard.reset();
        clock.uninstall();
    }

    void makeWizard() {
        wizard = std::make_unique<MVFileTransferWizardWindowController>(nullptr, lister, defaults);
        wizard->setFolderOpener([this](const fs::path& folder) { opened.push_back(folder); });
        wizard->setAlertPresenter([this](QWidget*, const QString& title, const QString& message) {
            alerts.push_back(title.toStdString());
            alertTexts.push_back(message.toStdString());
        });
    }
    // Lets the quick parse end and its result reach the sheet.
    void finishParse() {
        ASSERT_TRUE(wizard->queue().waitUntilAllOperationsAreFinished(std::chrono::seconds(30)));
        MainQueuePump::drain();
    }
    fs::path card(const std::string& name) {
        dir.write(name + "/media/day/b.gld", session);
        dir.write(name + "/media/day/b0001.mp4", std::string(40000, 'v'));
        return dir / name;
    }
    bool controlsEnabled() const {
        return wizard->buttonCopy()->isEnabled() && wizard->buttonMove()->isEnabled() &&
               wizard->directoryTextField()->isEnabled() && !wizard->buttonAbort()->isEnabled() &&
               wizard->buttonClose()->text() == "Close";
    }

    platform::FakeClock clock;
    TempDir dir;
    platform::UserDefaults defaults{dir / "defaults.json"};
    std::string session;
    std::shared_ptr<MVRemovableVolumes::FixedLister> lister =
        std::make_shared<MVRemovableVolumes::FixedLister>();
    std::unique_ptr<MVFileTransferWizardWindowController> wizard;
    std::vector<fs::path> opened;
    std::vector<std::string> alerts;
    std::vector<std::string> alertTexts;
};

// A real file system of a few kilobytes (tmpfs), mounted for one test where the system allows it.
class SmallDisk {
  public:
    explicit SmallDisk(const fs::path& at) : at_(at) {
        fs::create_directories(at_);
        mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    fs::path at_;
    bool mounted_ = false;
};

TEST_F(CardImportWizardTest, ProposesTheCardAndNamesTheFolderAfterItsCircuit) {
    makeWizard();
    EXPECT_EQ(wizard->sourceTextField()->text(), "");
    EXPECT_EQ(wizard->directoryTextField()->text(), "2026-12-10");
    EXPECT_EQ(wizard->destinationTextField()->url(), dir / "Documents/Gridlark");

    dir.write("CARD/VIDEO/x.txt", "x");
    lister->setVolumes({card("CARD")});
    wizard->setUpSDVolumes();
    EXPECT_EQ(wizard->sourceTextField()->url(), dir / "CARD/media");
    finishParse();
    EXPECT_EQ(wizard->directoryTextField()->text(), "2026-12-10 Larkfield Loop");
}

TEST_F(CardImportWizardTest, AMountEventResetsTheNameAndIgnoresTheEarlierParse) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    // The parse ends, but its result has not reached the sheet when the card goes away.
    ASSERT_TRUE(wizard->queue().waitUntilAllOperationsAreFinished(std::chrono::seconds(30)));
    dir.write("OTHER/VIDEO/notes.txt", "no session here");
    lister->setVolumes({dir / "CARD", dir / "OTHER"});
    wizard->setUpSDVolumes();
    MainQueuePump::drain();
    EXPECT_EQ(wizard->sourceTextField()->url(), dir / "OTHER/VIDEO");
    EXPECT_EQ(wizard->directoryTextField()->text(), "2026-12-10");
}

TEST_F(CardImportWizardTest, CopiesWithProgressAndOpensTheResult) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    finishParse();
    wizard->showSheet();
    wizard->buttonCopyPressed();
    const fs::path final = dir / "Documents/Gridlark/2026-12-10 Larkfield Loop/Session";
    ASSERT_TRUE(MainQueuePump::until([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<fs::path>{final});
    EXPECT_EQ(readAll(final / "day/b.gld"), session);
    EXPECT_EQ(readAll(final / "day/b0001.mp4").size(), 40000u);
    EXPECT_TRUE(fs::exists(dir / "CARD/media/day/b.gld"));
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(wizard->isPresented());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(CardImportWizardTest, ProgressShowsSizeButNeverFinishesTheRun) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    bool checked = false;
    wizard->transfer().setBeforeFileHook([&](std::size_t done) {
        if (done != 1) return;
        // Half of the card arrived: the poll shows it, the run goes on.
        platform::syncOnMain([&] {
            EXPECT_FALSE(controlsEnabled());
            EXPECT_EQ(wizard->buttonClose()->text(), "Run in background");
            clock.advance(std::chrono::milliseconds(500));
            MainQueuePump::drain();
            EXPECT_GT(wizard->progressBar()->value(), 0);
            EXPECT_LT(wizard->progressBar()->value(), 100);
            checked = true;
        });
    });
    wizard->buttonMovePressed();
    ASSERT_TRUE(MainQueuePump::until([&] { return !opened.empty(); }));
    EXPECT_TRUE(checked);
    EXPECT_FALSE(fs::exists(dir / "CARD/media"));  // moved only after everything arrived
    EXPECT_EQ(readAll(opened.at(0) / "day/b.gld"), session);
}

TEST_F(CardImportWizardTest, AMoveFromAWriteProtectedCardSaysWhatStayedAndKeepsTheSheet) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    finishParse();
    wizard->showSheet();
    testing_support::ReadOnlyFolder locked(dir / "CARD");
    if (!locked.ok()) GTEST_SKIP() << locked.whyNot();
    fs::create_directories(ZORFileLog::shared().logFile().parent_path());
    ZORFileLog::turnOnLog();
    struct LogOff {
        ~LogOff() { ZORFileLog::turnOffLog(); }
    } logOff;

    // Sent to the background at once: the outcome brings the sheet back.
    wizard->transfer().setBeforeFileHook([&](std::size_t done) {
        if (done == 0) platform::syncOnMain([&] { wizard->buttonClosePressed(); });
    });
    wizard->buttonMovePressed();
    ASSERT_TRUE(MainQueuePump::until([&] { return controlsEnabled(); }));
    const fs::path final = dir / "Documents/Gridlark/2026-12-10 Larkfield Loop/Session";
    EXPECT_EQ(readAll(final / "day/b.gld"), session);
    EXPECT_EQ(readAll(final / "day/b0001.mp4").size(), 40000u);
    // The sheet stays, opens nothing and says in words what happened.
    EXPECT_TRUE(wizard->isPresented());
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(alerts.empty());
    const QString message = wizard->messageTextField()->text();
    EXPECT_NE(message.indexOf("All files were copied"), -1) << message.toStdString();
    EXPECT_NE(message.indexOf("2 files could not be removed from the card"), -1)
        << message.toStdString();
    const auto kept = wizard->transfer().result();
    ASSERT_EQ(kept.notRemoved.size(), 2u);
    EXPECT_NE(message.indexOf(QString::fromStdString("(" + kept.error + ")")), -1)
        << message.toStdString();
    EXPECT_EQ(wizard->progressBar()->value(), 100);
    EXPECT_EQ(readAll(dir / "CARD/media/day/b.gld"), session);
    // The diagnostic log lists every file left on the card.
    const std::string log = readAll(ZORFileLog::shared().logFile());
    for (const char* file : {"CARD/media/day/b.gld", "CARD/media/day/b0001.mp4"}) {
        EXPECT_NE(log.find("not removed: " + (dir / file).string() + ": " + kept.error),
                  std::string::npos)
            << log;
    }
}

TEST_F(CardImportWizardTest, RefusalsLeaveEverythingAlone) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    finishParse();
    const fs::path existing = dir / "Documents/Gridlark/2026-12-10 Larkfield Loop/Session/mine.gld";
    dir.write(existing.lexically_relative(dir.path()).string(), "keep me");
    wizard->buttonCopyPressed();
    EXPECT_TRUE(controlsEnabled());
    EXPECT_NE(wizard->messageTextField()->text().indexOf("already exists"), -1);
    EXPECT_EQ(readAll(existing), "keep me");

    wizard->sessionTextField()->setText("..");
    wizard->buttonMovePressed();
    EXPECT_NE(wizard->messageTextField()->text().indexOf("cannot be used"), -1);

    fs::create_directories(dir / "EMPTY");
    wizard->sourceTextField()->setUrl(dir / "EMPTY");
    wizard->sessionTextField()->setText("Fresh");
    wizard->buttonCopyPressed();
    EXPECT_NE(wizard->messageTextField()->text().indexOf("no file"), -1);
    EXPECT_FALSE(fs::exists(dir / "Documents/Gridlark/2026-12-10 Larkfield Loop/Fresh"));
    MainQueuePump::drain();
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(fs::exists(dir / "CARD/media/day/b.gld"));
}

// With no card in the reader and no folder chosen, Copy and Move are disabled and, pressed
// anyway, say what is missing; a card that appears, or a folder chosen, enables them.
TEST_F(CardImportWizardTest, CopyAndMoveWaitForASource) {
    makeWizard();
    ASSERT_FALSE(wizard->sourceTextField()->url());
    EXPECT_FALSE(wizard->buttonCopy()->isEnabled());
    EXPECT_FALSE(wizard->buttonMove()->isEnabled());
    wizard->buttonCopyPressed();
    EXPECT_EQ(wizard->messageTextField()->text(), "Choose the card first.");
    wizard->buttonMovePressed();
    EXPECT_EQ(wizard->messageTextField()->text(), "Choose the card first.");

    lister->setVolumes({card("CARD")});
    wizard->setUpSDVolumes();
    finishParse();
    EXPECT_TRUE(controlsEnabled());
    lister->setVolumes({});
    wizard->setUpSDVolumes();
    EXPECT_FALSE(wizard->buttonCopy()->isEnabled());
    wizard->sourceTextField()->setUrl(dir / "CARD");
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(CardImportWizardTest, FailureAlertsAndAbortCleansUp) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    finishParse();
    wizard->transfer().setBeforeFileHook([&](std::size_t done) {
        if (done == 1) fs::remove(dir / "CARD/media/day/b0001.mp4");  // unreadable underneath
    });
    wizard->buttonCopyPressed();
    ASSERT_TRUE(MainQueuePump::until([&] { return !alerts.empty(); }));
    EXPECT_EQ(alerts.at(0), "Couldn't complete the operation.");
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(fs::exists(dir / "Documents/Gridlark/2026-12-10 Larkfield Loop"));

    dir.write("CARD/media/day/b0001.mp4", "again");
    wizard->transfer().setBeforeFileHook([&](std::size_t done) {
        if (done == 1) wizard->transfer().requestAbort();
    });
    wizard->buttonCopyPressed();
    wizard->buttonAbortPressed();
    MainQueuePump::drain();
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(fs::exists(dir / "Documents/Gridlark/2026-12-10 Larkfield Loop"));
    EXPECT_EQ(readAll(dir / "CARD/media/day/b.gld"), session);
}

TEST_F(CardImportWizardTest, AMoveIntoAFullDiskNamesTheReasonAndLosesNothing) {
    SmallDisk disk(dir / "small");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here";
    lister->setVolumes({card("CARD")});
    dir.write("CARD/media/day/b0002.mp4", std::string(200000, 'w'));  // more than the disk holds
    makeWizard();
    finishParse();
    wizard->destinationTextField()->setUrl(dir / "small");
    wizard->buttonMovePressed();
    ASSERT_TRUE(MainQueuePump::until([&] { return !alerts.empty(); }));
    EXPECT_NE(alertTexts.at(0).find("No space left on device"), std::string::npos)
        << alertTexts.at(0);
    EXPECT_NE(wizard->messageTextField()->text().indexOf("No space left on device"), -1)
        << wizard->messageTextField()->text().toStdString();
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(fs::is_empty(dir / "small"));
    EXPECT_EQ(readAll(dir / "CARD/media/day/b.gld"), session);
    EXPECT_EQ(readAll(dir / "CARD/media/day/b0002.mp4").size(), 200000u);
}

TEST_F(CardImportWizardTest, AMoveThatFailsOnTheCardsSideNamesTheRealReason) {
    struct Case {
        const char* what;
        const char* says;  // in the alert
    };
    for (const Case& c : {Case{"card pulled out", "The card went away during the copy"},
                          Case{"copy not flushed", "could not be flushed to the destination"}}) {
        SCOPED_TRACE(c.what);
        alerts.clear();
        alertTexts.clear();
        fs::remove_all(dir / "Documents");
        lister->setVolumes({card("CARD")});
        makeWizard();
        finishParse();
        if (std::string(c.what) == "card pulled out") {
            wizard->transfer().setBeforeFileHook([&](std::size_t done) {
                if (done == 1) fs::remove_all(dir / "CARD");
            });
        } else {
            auto calls = MVFolderTransfer::systemDiskCalls();
            calls.flushFile = [](int, const fs::path&) { return EIO; };
            wizard->transfer().setDiskCalls(calls);
        }
        wizard->buttonMovePressed();
        ASSERT_TRUE(MainQueuePump::until([&] { return !alerts.empty(); }));
        EXPECT_EQ(alerts.at(0), "Couldn't complete the operation.");
        EXPECT_NE(alertTexts.at(0).find(c.says), std::string::npos) << alertTexts.at(0);
        EXPECT_EQ(alertTexts.at(0).find("hidden files"), std::string::npos) << alertTexts.at(0);
        EXPECT_TRUE(controlsEnabled());
        EXPECT_TRUE(opened.empty());
        EXPECT_FALSE(fs::exists(dir / "Documents/Gridlark/2026-12-10 Larkfield Loop"));
        if (fs::exists(dir / "CARD")) {
            EXPECT_EQ(readAll(dir / "CARD/media/day/b.gld"), session);
            EXPECT_EQ(readAll(dir / "CARD/media/day/b0001.mp4").size(), 40000u);
        }
    }
}

TEST_F(CardImportWizardTest, AChosenSourceStaysWhileItIsThere) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    finishParse();
    const fs::path mine = card("MINE") / "media";
    wizard->setFolderChooser([&](QWidget*, const fs::path&) { return mine; });
    wizard->buttonEditScourcePressed();
    finishParse();
    const QString name = wizard->directoryTextField()->text();

    lister->setVolumes({dir / "CARD", card("OTHER")});  // another card comes and goes
    wizard->setUpSDVolumes();
    lister->setVolumes({dir / "CARD"});
    wizard->setUpSDVolumes();
    MainQueuePump::drain();
    EXPECT_EQ(wizard->sourceTextField()->url(), mine);
    EXPECT_EQ(wizard->directoryTextField()->text(), name);

    // Its result stays beside it; once it is gone, the card's source and a clean sheet follow.
    dir.write("Documents/Gridlark/" + name.toStdString() + "/Session/x", "there");
    wizard->buttonCopyPressed();
    EXPECT_NE(wizard->messageTextField()->text().indexOf("already exists"), -1);
    fs::remove_all(dir / "MINE");
    wizard->setUpSDVolumes();
    EXPECT_EQ(wizard->sourceTextField()->url(), dir / "CARD/media");
    EXPECT_TRUE(wizard->messageTextField()->text().isEmpty());
}

TEST_F(CardImportWizardTest, TheFolderFieldShowsTheNameThatWillBeMade) {
    testing_support::SessionOptions options;
    options.satellites = 0;  // no fix: no circuit, the quick parse says "N/A"
    dir.write("CARD/media/a.gld", testing_support::generateSession(options).text);
    lister->setVolumes({dir / "CARD"});
    makeWizard();
    finishParse();
    EXPECT_EQ(wizard->directoryTextField()->text(), "2026-12-10 N_A");
    wizard->buttonCopyPressed();
    ASSERT_TRUE(MainQueuePump::until([&] { return !opened.empty(); }));
    EXPECT_EQ(opened.at(0), dir / "Documents/Gridlark/2026-12-10 N_A/Session");
}

TEST_F(CardImportWizardTest, ARefusalWithALongPathShowsWhole) {
    lister->setVolumes({card("CARD")});
    makeWizard();
    finishParse();
    const fs::path deep = dir /
                          "Documents/a rather long folder name for the sessions of the club"
                          "/and another one below it for this season";
    wizard->destinationTextField()->setUrl(deep);
    dir.write(
        (deep / "2026-12-10 Larkfield Loop/Session/x").lexically_relative(dir.path()).string(),
        "there");
    wizard->adjustSize();
    wizard->buttonCopyPressed();
    ASSERT_NE(wizard->messageTextField()->text().indexOf("already exists"), -1);
    EXPECT_GE(wizard->height(), wizard->layout()->totalHeightForWidth(wizard->width()));
}

}  // namespace
