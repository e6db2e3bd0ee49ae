#include "tests/support/TempDir.h"

#include "session/MVGlobalData.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using testing_support::TempDir;

class CursorTest : public testing::Test {
  protected:
    void setDisplay(int32_t displayMode, int32_t mode) {
        options.setDisplayMode(displayMode);
        options.setMode(mode);
    }

    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};
    MVOptionsAndSettings options{store};
    MVGlobalData selection{options};
    MVSynchronization cursor{selection};
};

struct ShiftCase {
    int32_t displayMode;
    int32_t mode;
    double written;
    double stored;
};

class CursorShiftClamp : public CursorTest, public testing::WithParamInterface<ShiftCase> {};

TEST_P(CursorShiftClamp, KeepsWidthWithinTheSelectionLimits) {
    const auto& c = GetParam();
    setDisplay(c.displayMode, c.mode);
    std::vector<double> seen;
    auto token = cursor.observeSyncShift([&](double, double now) { seen.push_back(now); });
    cursor.setSyncShift(c.written);
    EXPECT_EQ(cursor.syncShift(), c.stored);
    EXPECT_EQ(seen, std::vector<double>{c.stored});
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(Cases, CursorShiftClamp,
                         testing::Values(
                             // Laps, time axis.
                             ShiftCase{0, 0, 10, 20}, ShiftCase{0, 0, 600, 500},
                             ShiftCase{0, 0, 100, 100}, ShiftCase{0, 0, -kInf, 20},
                             // Laps, position axis.
                             ShiftCase{0, 1, 100, 200}, ShiftCase{0, 1, 6000, 5000},
                             ShiftCase{0, 1, kInf, 5000},
                             // Whole session, whatever the axis.
                             ShiftCase{1, 0, 100, 200}, ShiftCase{1, 1, 6000, 5000},
                             // Not a number: the default width for the display.
                             ShiftCase{0, 0, kNaN, 150}, ShiftCase{1, 0, kNaN, 750}));

struct ResetCase {
    int32_t displayMode;
    int32_t mode;
    double width;
};

class CursorReset : public CursorTest, public testing::WithParamInterface<ResetCase> {};

TEST_P(CursorReset, ReturnsToDefaultWidthAndStartSilently) {
    cursor.setSyncTime(12.5);
    cursor.setSyncIndexOfPosition(300);
    cursor.setSyncShift(400);
    setDisplay(GetParam().displayMode, GetParam().mode);

    int calls = 0;
    auto count = [&](double, double) { ++calls; };
    auto t1 = cursor.observeSyncTime(count);
    auto t2 = cursor.observeSyncShift(count);
    auto t3 = cursor.observeSyncIndexOfPosition(count);
    cursor.resetSync();

    EXPECT_EQ(cursor.syncShift(), GetParam().width);
    EXPECT_EQ(cursor.syncTime(), 0);
    EXPECT_EQ(cursor.syncIndexOfPosition(), 0);
    EXPECT_EQ(calls, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, CursorReset,
                         testing::Values(ResetCase{1, 0, 750}, ResetCase{0, 0, 150},
                                         ResetCase{0, 1, 1500}));

TEST_F(CursorTest, StartsAtTheDefaultWidthWithNoRange) {
    // A fresh store shows laps on the position axis.
    EXPECT_EQ(cursor.syncShift(), 1500);
    EXPECT_EQ(cursor.syncTime(), 0);
    EXPECT_EQ(cursor.graphRangeMax(), 0);
    EXPECT_FALSE(cursor.graphCurrentRange().has_value());
    EXPECT_EQ(cursor.xMoveRange(), 10);
}

TEST_F(CursorTest, EverySetterNotifiesAlsoWithAnUnchangedValue) {
    int calls = 0;
    auto count = [&](const auto&, const auto&) { ++calls; };
    std::vector<platform::ObserverToken> tokens;
    tokens.push_back(cursor.observeSyncTime(count));
    tokens.push_back(cursor.observeSyncIndexOfPosition(count));
    tokens.push_back(cursor.observeGraphXSelection(count));
    tokens.push_back(cursor.observeGraphRangeMax(count));
    tokens.push_back(cursor.observeGraphCurrentRange(count));
    tokens.push_back(cursor.observeSyncShift(count));

    for (int i = 0; i < 2; ++i) {
        cursor.setSyncTime(cursor.syncTime());
        cursor.setSyncIndexOfPosition(cursor.syncIndexOfPosition());
        cursor.setGraphXSelection(3);
        cursor.setGraphRangeMax(90);
        cursor.setGraphCurrentRange(MVPlotRange{5, 150});
        cursor.setSyncShift(cursor.syncShift());
    }
    EXPECT_EQ(calls, 12);
    EXPECT_EQ(cursor.graphCurrentRange(), (MVPlotRange{5, 150}));
}

TEST_F(CursorTest, SilentSettersStoreUnclampedAndNotifyNobody) {
    int calls = 0;
    auto count = [&](double, double) { ++calls; };
    auto t1 = cursor.observeSyncTime(count);
    auto t2 = cursor.observeSyncShift(count);
    auto t3 = cursor.observeSyncIndexOfPosition(count);

    cursor.safelyChangeSyncShiftWithoutKVO(1);
    cursor.safelyChangeSyncTimeWithoutKVO(42);
    cursor.safelyChangeSyncIndexOfPositionWithoutKVO(-3);

    EXPECT_EQ(cursor.syncShift(), 1);
    EXPECT_EQ(cursor.syncTime(), 42);
    EXPECT_EQ(cursor.syncIndexOfPosition(), -3);
    EXPECT_EQ(calls, 0);
}

// A pane that observes the cursor time and moves it under the writer convention.
struct Pane {
    explicit Pane(MVSynchronization& c) : cursor(c) { observe(); }
    void observe() {
        token = cursor.observeSyncTime([this](double, double now) {
            ++callbacks;
            received.push_back(now);
            if (now < 0) moveTo(0);  // a pane that clamps what others write
        });
    }
    void moveTo(double t) {
        token.reset();
        cursor.setSyncTime(t);
        observe();
    }

    MVSynchronization& cursor;
    platform::ObserverToken token;
    int callbacks = 0;
    std::vector<double> received;
};

TEST_F(CursorTest, WriterConventionKeepsTheWriterOutOfItsOwnChange) {
    Pane writer(cursor), other(cursor);
    std::vector<double> plain;
    auto token = cursor.observeSyncTime([&](double, double now) { plain.push_back(now); });

    writer.moveTo(7.25);
    EXPECT_EQ(writer.callbacks, 0);
    EXPECT_EQ(other.received, std::vector<double>{7.25});
    EXPECT_EQ(plain, std::vector<double>{7.25});

    // A writer that does not step aside hears its own change like anyone else.
    cursor.setSyncTime(8);
    EXPECT_EQ(plain, (std::vector<double>{7.25, 8}));
    EXPECT_EQ(writer.received, std::vector<double>{8});
}

TEST_F(CursorTest, AnObserverMayWriteUnderTheConventionWhileBeingNotified) {
    Pane clamping(cursor);
    std::vector<double> plain;
    auto token = cursor.observeSyncTime([&](double, double now) { plain.push_back(now); });

    cursor.setSyncTime(-5);
    // The clamping pane saw -5 once and never its own correction; the plain observer saw its
    // correction (nested) and then the original value.
    EXPECT_EQ(clamping.received, std::vector<double>{-5});
    EXPECT_EQ(cursor.syncTime(), 0);
    EXPECT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain.front(), 0);
}

}  // namespace
