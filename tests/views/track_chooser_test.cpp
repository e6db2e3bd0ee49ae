// The circuit chooser's carousel: every name it shows is whole inside the carousel (or elided),
// at rest on each item, and an up-and-down wheel turns it as a sideways one does.
#include "views/MVPopOverAvailableTracksViewController.h"
#include "views/MVTrackCarousel.h"

#include "widgets/MVHelperColors.h"

#include "session/MVTrackInfo.h"

#include <QApplication>
#include <QLayout>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

MVTrackInfoPtr named(const std::string& name) {
    MVTrackInfoPtr track = MVTrackInfo::instance();
    track->setTrackName(name);
    return track;
}

class TrackChooserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        chooser.setArrayOfTracks({named("Larkfield Loop"),
                                  named("Autodromo Internazionale Grandissimo di Collina"),
                                  named("Hill")});
        chooser.layout()->activate();
        carousel = chooser.carousel();
        ASSERT_GT(carousel->width(), 0);
    }
    MVPopOverAvailableTracksViewController chooser;
    MVTrackCarousel* carousel = nullptr;
};

// With each item in the middle: the middle item and both neighbours show a label, every label
// lies inside the carousel and clear of the others, and its lines are the name, whole, or cut
// with an ellipsis where the name is longer than the room.
TEST_F(TrackChooserTest, NamesShowWholeOrElidedInsideTheCarousel) {
    const QFontMetricsF metrics(MVHelper::BigTextFont());
    const QRectF inside(carousel->rect());
    for (int middle = 0; middle < carousel->numberOfItems(); ++middle) {
        carousel->scrollToItemAtIndex(middle, false);
        std::vector<QRectF> shown;
        for (int i = 0; i < carousel->numberOfItems(); ++i) {
            SCOPED_TRACE(testing::Message() << "middle " << middle << ", item " << i);
            const QRectF label = carousel->labelRectOfItem(i);
            const QStringList lines = carousel->labelLinesOfItem(i);
            if (std::abs(i - middle) > 1) {
                EXPECT_TRUE(lines.isEmpty());
                continue;
            }
            ASSERT_FALSE(lines.isEmpty());
            EXPECT_TRUE(inside.contains(label));
            EXPECT_GE(label.width(), 100.0);  // room for a word or two, not a few letters
            EXPECT_LE(lines.size() * metrics.lineSpacing(), label.height() + 0.5);
            for (const QString& line : lines)
                EXPECT_LE(metrics.horizontalAdvance(line), label.width());
            for (const QRectF& other : shown) EXPECT_FALSE(label.intersects(other));
            shown.push_back(label);
            const QString written = lines.join(QLatin1Char(' '));
            const QString name = chooser.nameOfItemAtIndex(i);
            if (!written.contains(QChar(0x2026))) {
                EXPECT_EQ(written, name);
            } else {
                EXPECT_TRUE(name.startsWith(written.left(written.indexOf(QChar(0x2026)))));
            }
        }
    }
    // The short names and the last item's text are whole with their neighbours beside them.
    carousel->scrollToItemAtIndex(2, false);
    EXPECT_EQ(carousel->labelLinesOfItem(3).join(' '), "Load custom circuit overlay");
    EXPECT_EQ(carousel->labelLinesOfItem(2).join(' '), "Hill");
    carousel->scrollToItemAtIndex(1, false);
    EXPECT_EQ(carousel->labelLinesOfItem(0).join(' '), "Larkfield Loop");
}

TEST(TrackChooserLines, WrapAtWordsAndElideTheRest) {
    const QFontMetricsF metrics(MVHelper::BigTextFont());
    const double wide = metrics.horizontalAdvance("Load custom circuit overlay") + 1;
    const double word = metrics.horizontalAdvance("circuit overlay") + 1;
    EXPECT_EQ(MVTrackCarousel::wrappedLines("Load custom circuit overlay", metrics, wide, 3),
              QStringList{"Load custom circuit overlay"});
    EXPECT_EQ(MVTrackCarousel::wrappedLines("Load custom circuit overlay", metrics, word, 3),
              (QStringList{"Load custom", "circuit overlay"}));
    const QStringList cut =
        MVTrackCarousel::wrappedLines("Load custom circuit overlay", metrics, word, 1);
    ASSERT_EQ(cut.size(), 1);
    EXPECT_TRUE(cut[0].endsWith(QChar(0x2026)));
    EXPECT_LE(metrics.horizontalAdvance(cut[0]), word);
    EXPECT_TRUE(MVTrackCarousel::wrappedLines("", metrics, word, 2).isEmpty());
}

// An ordinary mouse wheel (up and down, 120 per notch) turns the chooser as a trackpad's
// sideways wheel does: down to the next item, up to the previous.
TEST_F(TrackChooserTest, AnUpAndDownWheelTurnsIt) {
    const auto turn = [this](QPoint angle) {
        // The carousel leaves the wheel to the chooser (a sent event does not travel up).
        const QPointF at = chooser.rect().center();
        QWheelEvent event(at, chooser.mapToGlobal(at), QPoint(), angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&chooser, &event);
        carousel->scrollToItemAtIndex(carousel->currentItemIndex(), false);  // end the animation
    };
    turn(QPoint(0, -120));
    EXPECT_EQ(carousel->currentItemIndex(), 1);
    turn(QPoint(-120, 0));
    EXPECT_EQ(carousel->currentItemIndex(), 2);
    turn(QPoint(0, 120));
    EXPECT_EQ(carousel->currentItemIndex(), 1);
    turn(QPoint(0, 8));  // a delta of 1 after the wheel's eighth: too small
    EXPECT_EQ(carousel->currentItemIndex(), 1);
}

}  // namespace
