#include "tests/support/MainQueuePump.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "transfer/MVFileWizardView.h"

#include "session/MVHelperMotion.h"
#include "session/MVNotifications.h"

#include "platform/Clock.h"
#include "platform/NotificationCenter.h"

#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

using testing_support::MainQueuePump;
using testing_support::TempDir;
namespace fs = std::filesystem;

class FileWizardViewTest : public ::testing::Test {
  protected:
    FileWizardViewTest() { clock.install(); }
    ~FileWizardViewTest() override {
        view.reset();
        clock.uninstall();
    }

    fs::path writeSession(const std::string& name, int laps) {
        testing_support::SessionOptions options;
        options.laps = laps;
        options.withLapTiming = true;
        return dir.write(name, testing_support::generateSession(options).text);
    }
    void select(const fs::path& file) {
        platform::NotificationCenter::defaultCenter().post(MVFileSelected, nullptr,
                                                           {{"url", file}});
    }
    void waitForParse() {
        clock.advance(std::chrono::milliseconds(500));
        MainQueuePump::drain();
        ASSERT_TRUE(MainQueuePump::until([&] {
            return view->operation() && view->operation()->isFinished() &&
                   view->lapsValue()->isVisibleTo(view.get());
        }));
    }

    platform::FakeClock clock;
    TempDir dir;
    std::unique_ptr<MVFileWizardView> view = std::make_unique<MVFileWizardView>();
};

TEST_F(FileWizardViewTest, ASelectionBurstParsesTheLastFileOnce) {
    std::vector<fs::path> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(writeSession("s" + std::to_string(i) + ".gld", 2 + i));
    for (const fs::path& file : files) {
        select(file);
        clock.advance(std::chrono::milliseconds(400));
        MainQueuePump::drain();
    }
    EXPECT_EQ(view->parsesStarted(), 0);
    waitForParse();
    EXPECT_EQ(view->parsesStarted(), 1);
    EXPECT_EQ(view->operation()->url(), files.back());
    EXPECT_EQ(view->fileNameTextField()->text(), "s4");
    EXPECT_EQ(view->lapsValue()->text().toInt(), view->numberOfLaps());
    EXPECT_GE(view->numberOfLaps(), 6);
    EXPECT_GT(view->fastestLapDuration(), 0);
    EXPECT_EQ(view->circuitValue()->text(), "Larkfield Loop");
}

TEST_F(FileWizardViewTest, AnotherParseFinishingChangesNothing) {
    const fs::path mine = writeSession("mine.gld", 3);
    select(mine);
    clock.advance(std::chrono::milliseconds(500));
    MainQueuePump::drain();
    ASSERT_EQ(view->parsesStarted(), 1);
    // Someone else's parse ends first (the card import runs them too).
    MVGLDFileManagerFastOperation other(writeSession("other.gld", 8));
    platform::NotificationCenter::defaultCenter().post(GLDParsingFastDidFinish, &other);
    MainQueuePump::drain();
    EXPECT_NE(view->numberOfLaps(), 8);  // nothing of the other run, whether ours ended or not
    waitForParse();
    EXPECT_EQ(view->fileNameTextField()->text(), "mine");
    EXPECT_EQ(view->lapsValue()->text().toInt(), view->numberOfLaps());
    EXPECT_LT(view->numberOfLaps(), 8);
}

TEST_F(FileWizardViewTest, UnreadableOrLaplessFilesShowZeros) {
    select(dir.write("broken.gld", "not a session\r\n"));
    waitForParse();
    EXPECT_EQ(view->lapsValue()->text(), "0");
    EXPECT_EQ(view->bestLapValue()->text(),
              QString::fromStdString(MVHelper::convertSecondsToTimeString(0)));
    EXPECT_EQ(view->circuitValue()->text(), "N/A");
    EXPECT_EQ(view->fileNameTextField()->text(), "broken");
}

TEST_F(FileWizardViewTest, RenameRefusalsShowBesideTheFieldAndRenameUpdatesIt) {
    const fs::path file = writeSession("day.gld", 2);
    const fs::path taken = writeSession("taken.gld", 2);
    select(file);
    waitForParse();
    for (const char* refused : {"a/b", "..", "taken"}) {
        view->fileNameTextField()->setText(refused);
        view->buttonPressed();
        EXPECT_FALSE(view->renameMessage()->text().isEmpty()) << refused;
        EXPECT_TRUE(fs::exists(file));
        EXPECT_TRUE(fs::exists(taken));
    }
    view->fileNameTextField()->setText("Morning run");
    view->buttonPressed();
    EXPECT_TRUE(view->renameMessage()->text().isEmpty());
    EXPECT_TRUE(fs::exists(dir / "Morning run.gld"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(view->fileNameTextField()->text(), "Morning run");
    EXPECT_EQ(view->url(), dir / "Morning run.gld");
}

}  // namespace
