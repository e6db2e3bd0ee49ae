#include "tests/support/MainQueuePump.h"

#include "widgets/MVBarProgressView.h"
#include "widgets/MVRoundProgressView.h"
#include "widgets/MVSpinningProgressIndicator.h"

#include "platform/Clock.h"

#include <QImage>
#include <gtest/gtest.h>

#include <chrono>

namespace {

using testing_support::MainQueuePump;

QImage renderOn(QWidget& widget, const QColor& ground, const QRegion& region = QRegion()) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(ground);
    widget.render(&image, QPoint(), region, QWidget::DrawChildren);
    return image;
}

bool sameIn(const QImage& a, const QImage& b, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
        }
    }
    return true;
}

// Columns that hold any pixel other than the ground colour.
std::pair<int, int> paintedColumns(const QImage& image, const QColor& ground) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) != ground) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

TEST(ProgressIndicators, BarFillsFromItsOwnBoundsAlsoWhenPartlyRedrawn) {
    MVBarProgressView bar;
    bar.resize(200, 20);
    bar.setProgress(0.5f);
    const QImage whole = renderOn(bar, Qt::black);

    // The outline spans the bounds, inset by its own margin.
    const auto [first, last] = paintedColumns(whole, Qt::black);
    EXPECT_LE(first, 2);
    EXPECT_GE(last, 197);
    // Filled up to the middle, empty after it.
    EXPECT_EQ(whole.pixelColor(60, 10), QColor(Qt::white));
    EXPECT_EQ(whole.pixelColor(150, 10), QColor(Qt::black));

    // Redrawing only the left part gives the same pixels there.
    const QRect left(0, 0, 100, 20);
    const QImage part = renderOn(bar, Qt::black, QRegion(left));
    EXPECT_TRUE(sameIn(whole, part, left));

    // Any progress fills the rounded left end at once; none draws only the outline.
    bar.setProgress(0.001f);
    EXPECT_EQ(renderOn(bar, Qt::black).pixelColor(8, 10), QColor(Qt::white));
    bar.setProgress(0);
    EXPECT_EQ(renderOn(bar, Qt::black).pixelColor(8, 10), QColor(Qt::black));
}

TEST(ProgressIndicators, RoundViewDrawsPieAndRingInsideItsBounds) {
    MVRoundProgressView round;
    round.resize(60, 40);  // not square: drawn in the centred 40 x 40 square
    round.setProgress(1.0f);
    QImage image = renderOn(round, Qt::black);
    EXPECT_EQ(image.pixelColor(30, 20), QColor(Qt::white));
    const auto [first, last] = paintedColumns(image, Qt::black);
    EXPECT_GE(first, 9);
    EXPECT_LE(last, 50);

    round.setProgress(0);
    image = renderOn(round, Qt::black);
    EXPECT_NE(image.pixelColor(30, 20), QColor(Qt::white));  // only the faint background disc
    EXPECT_NE(image.pixelColor(30, 20), QColor(Qt::black));

    // A quarter ring runs clockwise from twelve o'clock: top-right lit, top-left not.
    round.setAnnular(true);
    round.setBackgroundTintColor(Qt::transparent);
    round.setProgress(0.25f);
    image = renderOn(round, Qt::black);
    EXPECT_EQ(image.pixelColor(30 + 12, 20 - 12), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(30 - 12, 20 - 12), QColor(Qt::black));
    const QRect left(0, 0, 30, 40);
    EXPECT_TRUE(sameIn(image, renderOn(round, Qt::black, QRegion(left)), left));
}

TEST(ProgressIndicators, SpinnerDrawsStoppedFinsFaintAndAFullDeterminateDisc) {
    MVSpinningProgressIndicator spinner;
    spinner.resize(64, 64);
    spinner.setColor(Qt::white);
    QImage image = renderOn(spinner, Qt::black);
    const QColor topFin = image.pixelColor(32, 32 - 21);
    EXPECT_GT(topFin.red(), 20);
    EXPECT_LT(topFin.red(), 60);  // white at alpha 0.15 over black

    spinner.setMaxValue(50);
    spinner.setDoubleValue(50);
    EXPECT_FALSE(spinner.isIndeterminate());
    image = renderOn(spinner, Qt::black);
    EXPECT_EQ(image.pixelColor(32, 32), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(32 + 20, 32), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::black));
    const QRect top(0, 0, 64, 30);
    EXPECT_TRUE(sameIn(image, renderOn(spinner, Qt::black, QRegion(top)), top));
}

class SpinnerClockTest : public ::testing::Test {
  protected:
    void SetUp() override { clock_.install(); }
    void TearDown() override { clock_.uninstall(); }

    void frame() {
        clock_.advance(MVSpinningProgressIndicator::kFrameInterval);
        MainQueuePump::drain();
    }

    platform::FakeClock clock_;
};

TEST_F(SpinnerClockTest, BrightFinMovesOnePlaceClockwisePerFrame) {
    MVSpinningProgressIndicator spinner;
    spinner.resize(32, 32);
    spinner.setColor(Qt::white);
    spinner.show();
    spinner.startAnimation();
    ASSERT_TRUE(spinner.isAnimating());
    EXPECT_EQ(spinner.position(), 1);

    const int expected[] = {0, 11, 10, 9};
    for (int position : expected) {
        frame();
        EXPECT_EQ(spinner.position(), position);
        EXPECT_DOUBLE_EQ(spinner.finColor(position).alphaF(), 1.0);
        EXPECT_LT(spinner.finColor((position + 1) % 12).alphaF(), 1.0);
    }

    // A hidden spinner holds still and goes on when shown.
    spinner.hide();
    frame();
    frame();
    EXPECT_EQ(spinner.position(), 9);
    spinner.show();
    frame();
    EXPECT_EQ(spinner.position(), 8);
}

TEST_F(SpinnerClockTest, StopFadesTheFinsBeforeTheAnimationEnds) {
    MVSpinningProgressIndicator spinner;
    spinner.show();
    spinner.startAnimation();
    for (int i = 0; i < 5; ++i) frame();
    spinner.stopAnimation();
    frame();
    EXPECT_TRUE(spinner.isAnimating());
    EXPECT_TRUE(spinner.isFadingOut());

    int frames = 1;
    while (spinner.isAnimating() && frames < 100) {
        frame();
        ++frames;
    }
    EXPECT_FALSE(spinner.isAnimating());
    // The brightest fin (alpha 1) needs 12 decays of 0.85 to come within 0.01 of 0.15.
    EXPECT_EQ(frames, 12);
    for (int i = 0; i < MVSpinningProgressIndicator::kNumFins; ++i) {
        EXPECT_NEAR(spinner.finColor(i).alphaF(), 0.15, 0.011);
    }
    const int position = spinner.position();
    frame();
    EXPECT_EQ(spinner.position(), position);  // no frames after the end

    // A start while fading starts afresh.
    spinner.startAnimation();
    frame();
    spinner.stopAnimation();
    spinner.startAnimation();
    EXPECT_FALSE(spinner.isFadingOut());
    EXPECT_EQ(spinner.position(), 1);
}

TEST_F(SpinnerClockTest, DeterminateValueAndHiddenWhenStopped) {
    MVSpinningProgressIndicator spinner;
    spinner.show();
    spinner.startAnimation();
    frame();
    spinner.setDoubleValue(30);
    EXPECT_FALSE(spinner.isIndeterminate());
    EXPECT_TRUE(spinner.isFadingOut());
    spinner.startAnimation();  // determinate: no new animation
    EXPECT_TRUE(spinner.isFadingOut());

    MVSpinningProgressIndicator hiding;
    hiding.setDisplayedWhenStopped(false);
    EXPECT_FALSE(hiding.isVisible());
    hiding.startAnimation();
    EXPECT_TRUE(hiding.isVisible());
    hiding.stopAnimation();
    for (int i = 0; i < 100 && hiding.isAnimating(); ++i) frame();
    EXPECT_FALSE(hiding.isAnimating());
    EXPECT_FALSE(hiding.isVisible());
}

}  // namespace
