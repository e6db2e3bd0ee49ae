#include "tests/support/MainQueuePump.h"

#include "widgets/MVBarProgressView.h"
#include "widgets/MVProgressHUD.h"
#include "widgets/MVRoundProgressView.h"
#include "widgets/MVSpinningProgressIndicator.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;
using testing_support::MainQueuePump;

class ProgressHUDTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock_.install();
        host_.resize(400, 300);
        host_.show();
    }
    void TearDown() override {
        MainQueuePump::drain();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        clock_.uninstall();
    }

    // Moves the platform clock in small steps, running the main queue after each.
    void advance(milliseconds total) {
        const milliseconds step(10);
        for (milliseconds done(0); done < total; done += step) {
            clock_.advance(std::min(step, total - done));
            MainQueuePump::drain();
        }
    }

    platform::FakeClock clock_;
    QWidget host_;
};

TEST_F(ProgressHUDTest, ShowFadesInAndHideFadesOutAndRemovesTheOverlay) {
    EXPECT_FALSE(MVProgressHUD::hideHUDForView(&host_, true));  // nothing to hide
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), nullptr);

    QPointer<MVProgressHUD> hud = MVProgressHUD::showHUDAddedTo(&host_, true);
    ASSERT_TRUE(hud);
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), hud);
    EXPECT_TRUE(hud->isVisible());
    EXPECT_EQ(hud->geometry(), host_.rect());
    EXPECT_TRUE(qobject_cast<MVSpinningProgressIndicator*>(hud->indicator()));
    advance(milliseconds(150));
    EXPECT_GT(hud->alpha(), 0.2);
    EXPECT_LT(hud->alpha(), 0.8);
    advance(milliseconds(160));
    EXPECT_DOUBLE_EQ(hud->alpha(), 1.0);

    // The overlay follows its host's size.
    host_.resize(500, 320);
    EXPECT_EQ(hud->geometry(), host_.rect());

    QSignalSpy hidden(hud.data(), &MVProgressHUD::wasHidden);
    EXPECT_TRUE(MVProgressHUD::hideHUDForView(&host_, true));
    EXPECT_FALSE(hud->isShown());
    advance(milliseconds(150));
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), hud);  // still busy while fading
    EXPECT_EQ(hidden.count(), 0);
    advance(milliseconds(160));
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_TRUE(hud->isFinished());
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(hud);
}

TEST_F(ProgressHUDTest, ZoomAnimationsScaleThePanelAndIndicatorBesideTheFade) {
    struct Case {
        MVProgressHUD::AnimationType type;
        double showFrom;
        double hideTo;
    };
    for (const Case& c : {Case{MVProgressHUD::Fade, 1.0, 1.0}, Case{MVProgressHUD::Zoom, 1.5, 0.5},
                          Case{MVProgressHUD::ZoomIn, 0.5, 1.5}}) {
        SCOPED_TRACE(c.type);
        auto* hud = new MVProgressHUD(&host_);
        hud->setAnimationType(c.type);
        hud->showAnimated(true);
        const QSize restingIndicator(40, 40);  // the spinner at its default size
        if (c.type != MVProgressHUD::Fade) {
            EXPECT_NE(hud->indicator()->size(), restingIndicator);
        }
        EXPECT_DOUBLE_EQ(hud->scale(), c.showFrom);
        advance(milliseconds(150));
        const double midway = (c.showFrom + 1.0) / 2;
        EXPECT_NEAR(hud->scale(), midway, 0.1);
        advance(milliseconds(160));
        EXPECT_DOUBLE_EQ(hud->scale(), 1.0);
        if (hud->indicator()) {
            EXPECT_EQ(hud->indicator()->size(), restingIndicator);
        }

        hud->setRemoveFromSuperViewOnHide(true);
        hud->hideAnimated(true);
        advance(milliseconds(150));
        EXPECT_NEAR(hud->scale(), (1.0 + c.hideTo) / 2, 0.1);
        advance(milliseconds(160));
        EXPECT_TRUE(hud->isFinished());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(ProgressHUDTest, HidesTheTopmostOverlayOnlyAndHideAllCountsThem) {
    MVProgressHUD* lower = MVProgressHUD::showHUDAddedTo(&host_, false);
    MVProgressHUD* upper = MVProgressHUD::showHUDAddedTo(&host_, false);
    EXPECT_EQ(MVProgressHUD::allHUDsForView(&host_), (QList<MVProgressHUD*>{lower, upper}));
    EXPECT_TRUE(MVProgressHUD::hideHUDForView(&host_, false));
    EXPECT_EQ(MVProgressHUD::allHUDsForView(&host_), QList<MVProgressHUD*>{lower});
    MVProgressHUD::showHUDAddedTo(&host_, false);
    EXPECT_EQ(MVProgressHUD::hideAllHUDsForView(&host_, false), 2);
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), nullptr);
}

TEST_F(ProgressHUDTest, GraceTimeDelaysTheOverlayAndAnEarlyHideKeepsItAway) {
    auto* hud = new MVProgressHUD(&host_);
    hud->setGraceTime(0.5f);
    hud->showAnimated(false);
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), hud);  // busy from the start
    advance(milliseconds(490));
    EXPECT_FALSE(hud->isVisible());
    EXPECT_FALSE(hud->isShown());
    advance(milliseconds(10));
    EXPECT_TRUE(hud->isVisible());
    EXPECT_DOUBLE_EQ(hud->alpha(), 1.0);

    QPointer<MVProgressHUD> early = new MVProgressHUD(&host_);
    early->setGraceTime(0.5f);
    early->setRemoveFromSuperViewOnHide(true);
    early->showAnimated(true);
    advance(milliseconds(200));
    early->hideAnimated(true);  // ends at once, without a fade
    EXPECT_TRUE(early->isFinished());
    advance(milliseconds(600));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(early);
    EXPECT_EQ(MVProgressHUD::HUDForView(&host_), hud);
}

TEST_F(ProgressHUDTest, ATaskShorterThanTheGraceTimeNeverShowsTheOverlay) {
    auto* hud = new MVProgressHUD(&host_);
    hud->setGraceTime(1.0f);
    std::atomic<bool> ran{false};
    bool completed = false;
    hud->showAnimated(
        false, [&ran] { ran = true; }, platform::globalQueue(), [&completed] { completed = true; });
    EXPECT_TRUE(hud->taskInProgress());
    ASSERT_TRUE(MainQueuePump::until([&] { return !hud->taskInProgress(); }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(completed);
    EXPECT_TRUE(hud->isFinished());
    advance(milliseconds(1100));
    EXPECT_FALSE(hud->isVisible());
}

TEST_F(ProgressHUDTest, MinimumShowTimeHoldsTheOverlayUp) {
    auto* hud = new MVProgressHUD(&host_);
    hud->setMinShowTime(1.0f);
    hud->showAnimated(false);
    advance(milliseconds(200));
    hud->hideAnimated(false);
    EXPECT_TRUE(hud->isVisible());
    advance(milliseconds(790));
    EXPECT_TRUE(hud->isVisible());
    EXPECT_FALSE(hud->isFinished());
    advance(milliseconds(10));
    EXPECT_FALSE(hud->isVisible());
    EXPECT_TRUE(hud->isFinished());

    // Shown long enough already: the hide is immediate.
    auto* later = new MVProgressHUD(&host_);
    later->setMinShowTime(0.5f);
    later->showAnimated(false);
    advance(milliseconds(600));
    later->hideAnimated(false);
    EXPECT_TRUE(later->isFinished());
}

TEST_F(ProgressHUDTest, DelayedHideFiresOnTheClock) {
    auto* hud = MVProgressHUD::showHUDAddedTo(&host_, false);
    QSignalSpy delayed(hud, &MVProgressHUD::wasHiddenAfterDelay);
    hud->hideAnimated(false, milliseconds(700));
    advance(milliseconds(690));
    EXPECT_EQ(delayed.count(), 0);
    EXPECT_TRUE(hud->isVisible());
    advance(milliseconds(10));
    EXPECT_EQ(delayed.count(), 1);
    EXPECT_TRUE(hud->isFinished());
}

TEST_F(ProgressHUDTest, OverlaySwallowsClicksUntilItIsGone) {
    QPushButton button(&host_);
    button.setGeometry(0, 0, 400, 300);
    button.show();
    QSignalSpy clicked(&button, &QPushButton::clicked);

    MVProgressHUD::showHUDAddedTo(&host_, false);
    QTest::mouseClick(host_.childAt(200, 150), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(clicked.count(), 0);
    MVProgressHUD::hideHUDForView(&host_, false);
    QTest::mouseClick(host_.childAt(200, 150), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(clicked.count(), 1);

    // A dismissible overlay ends on a click.
    auto* hud = MVProgressHUD::showHUDAddedTo(&host_, false);
    hud->setDismissible(true);
    QSignalSpy tapped(hud, &MVProgressHUD::wasTapped);
    QTest::mouseClick(hud, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(tapped.count(), 1);
    EXPECT_TRUE(hud->isFinished());
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(ProgressHUDTest, PanelLayoutFollowsTextsMinimumSizeAndSquare) {
    auto* hud = new MVProgressHUD(&host_);
    hud->setMode(MVProgressHUD::Text);
    EXPECT_EQ(hud->indicator(), nullptr);
    EXPECT_EQ(hud->panelSize(), QSizeF(40, 40));  // the margins alone
    hud->setMinSize(QSizeF(100, 60));
    EXPECT_EQ(hud->panelSize(), QSizeF(100, 60));
    EXPECT_EQ(hud->panelRect(), QRectF(150, 120, 100, 60));

    hud->setMinSize(QSizeF());
    hud->setLabelText(QString(200, QLatin1Char('W')));  // far wider than the host
    EXPECT_EQ(hud->panelSize().width(), 400 - 4 * 20 + 2 * 20);

    hud->setLabelText(QStringLiteral("Loading"));
    hud->setMode(MVProgressHUD::Indeterminate);
    const QSizeF withSpinner = hud->panelSize();
    EXPECT_GE(withSpinner.height(), 40 + 4 + 40);  // spinner, gap, label, margins
    hud->setSquare(true);
    EXPECT_EQ(hud->panelSize().width(), hud->panelSize().height());
    hud->setYOffset(30);
    EXPECT_NEAR(hud->panelRect().center().y(), 150 + 30, 1.0);
}

TEST_F(ProgressHUDTest, IndicatorModesAndProgress) {
    auto* hud = new MVProgressHUD(&host_);
    hud->setMode(MVProgressHUD::DeterminateHorizontalBar);
    auto* bar = qobject_cast<MVBarProgressView*>(hud->indicator());
    ASSERT_NE(bar, nullptr);
    hud->setProgress(0.4f);
    EXPECT_FLOAT_EQ(bar->progress(), 0.4f);
    hud->showAnimated(false);  // a new show makes a new bar
    EXPECT_NE(hud->indicator(), bar);
    EXPECT_FLOAT_EQ(qobject_cast<MVBarProgressView*>(hud->indicator())->progress(), 0.0f);

    hud->setMode(MVProgressHUD::AnnularDeterminate);
    auto* round = qobject_cast<MVRoundProgressView*>(hud->indicator());
    ASSERT_NE(round, nullptr);
    EXPECT_TRUE(round->isAnnular());
    hud->setMode(MVProgressHUD::Determinate);
    EXPECT_EQ(hud->indicator(), round);  // reused, ring kept
    EXPECT_TRUE(round->isAnnular());

    // Progress set on a worker thread arrives through the main queue.
    std::thread worker([hud] { hud->setProgress(0.75f); });
    worker.join();
    EXPECT_FLOAT_EQ(round->progress(), 0.0f);
    MainQueuePump::drain();
    EXPECT_FLOAT_EQ(round->progress(), 0.75f);

    hud->setMode(MVProgressHUD::Indeterminate);
    hud->setProgress(0.5f);  // the spinner has no progress: nothing breaks
    EXPECT_TRUE(qobject_cast<MVSpinningProgressIndicator*>(hud->indicator()));
}

}  // namespace
