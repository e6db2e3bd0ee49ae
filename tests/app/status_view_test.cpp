#include "tests/support/ContrastRatio.h"
#include "tests/support/MainQueuePump.h"

#include "app/MVStatusView.h"

#include "widgets/MVHelperColors.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using testing_support::MainQueuePump;

class StatusViewTest : public ::testing::Test {
  protected:
    void SetUp() override { clock_.install(); }
    void TearDown() override { clock_.uninstall(); }

    // One blink step: half a second on the platform clock, then the main queue runs.
    void tick() {
        clock_.advance(std::chrono::milliseconds(500));
        MainQueuePump::drain();
    }

    platform::FakeClock clock_;
    MVStatusView view_;
};

const QColor kRed = MVHelper::Gui::RefusalColor();

TEST_F(StatusViewTest, EachLoadingCodeShowsItsTextAndBar) {
    struct Case {
        int code;
        const char* message;
        bool barShown;
        int barValue;
        bool blinks;
    };
    const Case cases[] = {
        {0, "Start Processing...", true, 0, false},
        {1, "Loading Lines...", true, 1, false},
        {2, "Loading Headers...", true, 2, false},
        {3, "Loading Samples...", true, 3, false},
        {4, "Loading Speeds...", true, 4, false},
        {5, "Loading FakeIndexes...", true, 5, false},
        {6, "Loading Distances...", true, 6, false},
        {7, "Loading Tracks...", true, 7, false},
        {8, "Loading Default track...", true, 8, false},
        {9, "Loading Laps...", true, 9, false},
        {10, "", false, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        view_.updateProgress(c.code);
        EXPECT_EQ(view_.message().toStdString(), c.message);
        EXPECT_EQ(view_.isIndicatorShown(), c.barShown);
        EXPECT_EQ(view_.indicatorWidth(), c.barShown ? MVStatusView::kIndicatorShownWidth : 0);
        EXPECT_EQ(view_.indicatorValue(), c.barValue);
        EXPECT_EQ(view_.isBlinking(), c.blinks);
        EXPECT_EQ(view_.messageColor(), MVHelper::Gui::BrightColorOnBackground());
    }
    EXPECT_FALSE(view_.isLoading());

    const struct {
        int code;
        const char* message;
    } failures[] = {
        {11, "Track/layout must match the current session."},
        {13, "Cannot get data information."},
        {14, "No laps detected. Custom tracks are not yet supported."},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.code);
        view_.updateProgress(0);
        view_.updateProgress(f.code);
        EXPECT_EQ(view_.message().toStdString(), f.message);
        EXPECT_FALSE(view_.isIndicatorShown());
        EXPECT_TRUE(view_.isBlinking());
        EXPECT_FALSE(view_.isLoading());
    }
}

TEST_F(StatusViewTest, CodesOutsideTheTableChangeNothing) {
    view_.updateProgress(0);
    view_.updateProgress(4);
    view_.updateProgress(15);
    view_.updateProgress(-1);
    EXPECT_EQ(view_.message().toStdString(), "Loading Speeds...");
    EXPECT_TRUE(view_.isIndicatorShown());
    EXPECT_EQ(view_.indicatorValue(), 4);
}

TEST_F(StatusViewTest, GivenTextReplacesTheCodesOwnText) {
    view_.updateProgress(0, QStringLiteral(""));
    EXPECT_TRUE(view_.isIndicatorShown());
    EXPECT_EQ(view_.message(), QString());
    view_.updateProgress(3, QStringLiteral("Reading"));
    EXPECT_EQ(view_.message(), QStringLiteral("Reading"));
}

TEST_F(StatusViewTest, FailureBlinksElevenTimesRedFirstThenClearsAfterSixSeconds) {
    view_.updateProgress(0);
    view_.updateProgress(13);
    ASSERT_EQ(view_.messageColor(), MVHelper::Gui::BrightColorOnBackground());
    for (int step = 1; step <= MVStatusView::kBlinkTicks; ++step) {
        SCOPED_TRACE(step);
        tick();
        EXPECT_EQ(view_.messageColor(),
                  step % 2 == 1 ? kRed : MVHelper::Gui::BrightColorOnBackground());
        EXPECT_EQ(view_.message().toStdString(), "Cannot get data information.");
        EXPECT_TRUE(view_.isBlinking());
    }
    tick();  // the 12th step, 6 s after the failure
    EXPECT_EQ(view_.message(), QString());
    EXPECT_EQ(view_.messageColor(), MVHelper::Gui::BrightColorOnBackground());
    EXPECT_FALSE(view_.isBlinking());
    tick();
    EXPECT_EQ(view_.message(), QString());
}

// Both colours of a blinking failure read on the bar's dark blue at 4.5:1 or better.
TEST_F(StatusViewTest, ABlinkingFailureReadsOnTheBar) {
    view_.updateProgress(13);
    const QColor bar = view_.palette().color(QPalette::Window);
    ASSERT_EQ(bar, MVHelper::Gui::DarkBlueColor());
    for (int step = 0; step < 2; ++step) {
        tick();
        EXPECT_GE(testing_support::contrastRatio(view_.messageColor(), bar), 4.5)
            << view_.messageColor().name().toStdString();
    }
}

TEST_F(StatusViewTest, NewCodesStopAOldBlinkAndAFailureRestartsTheCycle) {
    view_.updateProgress(11);
    for (int i = 0; i < 5; ++i) tick();
    view_.updateProgress(14);  // a new failure while the old one blinks
    EXPECT_EQ(view_.messageColor(), MVHelper::Gui::BrightColorOnBackground());
    for (int i = 0; i < MVStatusView::kBlinkTicks; ++i) tick();
    EXPECT_EQ(view_.message().toStdString(),
              "No laps detected. Custom tracks are not yet supported.");
    tick();
    EXPECT_EQ(view_.message(), QString());

    view_.updateProgress(11);
    tick();
    view_.updateProgress(0);  // a new load stops the blink at once
    EXPECT_FALSE(view_.isBlinking());
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(view_.message().toStdString(), "Start Processing...");
    EXPECT_EQ(view_.messageColor(), MVHelper::Gui::BrightColorOnBackground());
}

TEST_F(StatusViewTest, NoCircuitCodeHidesTheBarAndBlinksWhileLoadingGoesOn) {
    for (int code = 0; code <= 8; ++code) view_.updateProgress(code);
    view_.updateProgress(12);
    EXPECT_EQ(view_.message().toStdString(),
              "Cannot load non-circuit file. Feature planned for a future version.");
    EXPECT_FALSE(view_.isIndicatorShown());
    EXPECT_TRUE(view_.isBlinking());
    EXPECT_TRUE(view_.isLoading());
    tick();
    EXPECT_EQ(view_.messageColor(), kRed);

    // The pipeline goes on with 9 and 10: each replaces the message and stops the blink; the
    // bar stays hidden.
    view_.updateProgress(9);
    EXPECT_EQ(view_.message().toStdString(), "Loading Laps...");
    EXPECT_FALSE(view_.isBlinking());
    EXPECT_FALSE(view_.isIndicatorShown());
    view_.updateProgress(10);
    EXPECT_EQ(view_.message(), QString());
    EXPECT_FALSE(view_.isLoading());
    EXPECT_EQ(view_.indicatorValue(), 10);
}

TEST_F(StatusViewTest, ALoadThatEndsWithoutCompletionShowsAFailure) {
    // An unreadable file: the pipeline sends 0 and gives up.
    view_.updateProgress(0);
    view_.loadDidEnd();
    EXPECT_EQ(view_.message(), MVStatusView::unreadableFileText());
    EXPECT_FALSE(view_.isIndicatorShown());
    EXPECT_TRUE(view_.isBlinking());

    // A completed or refused load is left as it is.
    view_.updateProgress(0);
    view_.updateProgress(10);
    view_.loadDidEnd();
    EXPECT_EQ(view_.message(), QString());
    EXPECT_FALSE(view_.isBlinking());
    view_.updateProgress(0);
    view_.updateProgress(11);
    view_.loadDidEnd();
    EXPECT_EQ(view_.message().toStdString(), "Track/layout must match the current session.");

    // A file that cannot be reached never starts a load; the caller shows it directly.
    view_.showFailure(MVStatusView::unreachableFileText());
    EXPECT_EQ(view_.message(), MVStatusView::unreachableFileText());
    EXPECT_TRUE(view_.isBlinking());
}

TEST_F(StatusViewTest, VersionLabelShowsTheApplicationVersion) {
    EXPECT_TRUE(view_.versionText().startsWith(QStringLiteral("Version: ")));
    EXPECT_GT(view_.versionText().size(), 9);  // a version follows
}

}  // namespace
