#include "tests/support/MainQueuePump.h"
#include "tests/support/TempDir.h"

#include "app/MVCompanyBrandView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTextFieldForSectors.h"

#include "session/MVNotifications.h"

#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RecentDocuments.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QWindow>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing_support::MainQueuePump;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

class BrandViewTest : public ::testing::Test {
  protected:
    void SetUp() override { clock_.install(); }
    void TearDown() override { clock_.uninstall(); }

    // Notes /sessions/day1.gld ... /sessions/dayN.gld, dayN the most recent.
    void noteDays(int count) {
        for (int day = 1; day <= count; ++day) recents_.noteNewRecentDocumentURL(dayPath(day));
    }
    static std::filesystem::path dayPath(int day) {
        return "/sessions/day" + std::to_string(day) + ".gld";
    }
    std::unique_ptr<MVCompanyBrandView> makeView() {
        auto view = std::make_unique<MVCompanyBrandView>(nullptr, recents_);
        view->setAttribute(Qt::WA_ShowWithoutActivating);
        view->resize(kWidth, kHeight);
        view->show();  // a hidden widget gets its resize only when shown
        return view;
    }
    static int subviewCount(const MVCompanyBrandView& view) {
        return static_cast<int>(
            view.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size());
    }
    // What the application does when one of its windows gains or loses focus.
    static void focusMovesTo(QWindow* window) { emit qApp->focusWindowChanged(window); }
    void advance(platform::Duration d) {
        clock_.advance(d);
        MainQueuePump::drain();
    }

    platform::FakeClock clock_;
    testing_support::TempDir dir_;
    platform::UserDefaults defaults_{dir_ / "defaults.json"};
    platform::RecentDocuments recents_{defaults_};
};

void expectLogoCentred(const MVCompanyBrandView& view) {
    ASSERT_NE(view.logoView(), nullptr);
    const QPoint centre = view.logoView()->geometry().center();
    EXPECT_NEAR(centre.x(), view.width() / 2, 1);
    EXPECT_NEAR(centre.y(), view.height() / 2, 1);
}

TEST_F(BrandViewTest, SevenRecentFilesShowFiveButtonsStackedFromTheBottomEdge) {
    noteDays(7);
    auto view = makeView();
    for (int height : {kHeight, 450}) {
        SCOPED_TRACE(height);
        view->resize(kWidth, height);
        const auto& buttons = view->recentFileButtons();
        ASSERT_EQ(buttons.size(), 5u);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(buttons[i]->text().toStdString(), dayPath(7 - i).filename().string());
            EXPECT_EQ(buttons[i]->geometry(), QRect(0, height - 40 * (i + 1), 200, 40)) << i;
        }
        // The header sits on the fifth button, its lower edge 200 above the bottom edge.
        const MVTextFieldForSectors* header = view->headerField();
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->geometry(), QRect(0, height - 240, 200, 40));
        EXPECT_EQ(header->geometry().bottom() + 1, buttons[4]->geometry().top());
        EXPECT_EQ(header->text(), "Recent Files");
        EXPECT_EQ(header->backgroundColor(), MVHelper::Gui::LightBlueColor());
        EXPECT_EQ(header->textColor(), MVHelper::Gui::WhiteColor());
        expectLogoCentred(*view);
    }
    EXPECT_EQ(subviewCount(*view), 7);
}

TEST_F(BrandViewTest, NoRecentFilesShowTheLogoAlone) {
    auto view = makeView();
    EXPECT_TRUE(view->recentFileButtons().empty());
    EXPECT_EQ(view->headerField(), nullptr);
    EXPECT_EQ(subviewCount(*view), 1);
    EXPECT_FALSE(view->logoView()->pixmap().isNull());
    expectLogoCentred(*view);
}

TEST_F(BrandViewTest, LongNamesAreShortenedInTheMiddle) {
    const std::string longName =
        "Larkfield Loop - afternoon practice session with the new tyres, second stint.gld";
    recents_.noteNewRecentDocumentURL("/sessions/" + longName);
    auto view = makeView();
    ASSERT_EQ(view->recentFileButtons().size(), 1u);
    const QString title = view->recentFileButtons()[0]->text();
    EXPECT_TRUE(title.startsWith("Lark")) << title.toStdString();
    EXPECT_TRUE(title.endsWith("stint.gld")) << title.toStdString();
    EXPECT_TRUE(title.contains(QChar(0x2026))) << title.toStdString();
    EXPECT_LE(QFontMetrics(MVHelper::BigTextFont()).horizontalAdvance(title), 200);
}

TEST_F(BrandViewTest, APressPostsTheFileAtThatPlaceOfTheListAsItIsNow) {
    noteDays(3);
    auto view = makeView();
    struct Posted {
        const void* object;
        std::filesystem::path path;
    };
    std::vector<Posted> posted;
    platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        MVNotificationRecentFileSelected, nullptr, [&](const platform::Notification& n) {
            const auto* path = n.value<std::filesystem::path>("recent");
            ASSERT_NE(path, nullptr);
            posted.push_back({n.object, *path});
        });

    const auto buttons = view->recentFileButtons();
    ASSERT_EQ(buttons.size(), 3u);
    buttons[1]->click();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].object, view.get());
    EXPECT_EQ(posted[0].path, dayPath(2));

    // The list shrinks to one file behind the view's back: the third button does nothing and
    // the first names the file now at the front.
    recents_.clearRecentDocuments();
    recents_.noteNewRecentDocumentURL(dayPath(9));
    buttons[2]->click();
    EXPECT_EQ(posted.size(), 1u);
    buttons[0]->click();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].path, dayPath(9));
}

TEST_F(BrandViewTest, FocusEmptiesTheViewAndRebuildsItHalfASecondLater) {
    noteDays(1);
    auto view = makeView();
    ASSERT_EQ(view->recentFileButtons().size(), 1u);
    noteDays(2);  // day2 joins the list while the view shows the old one

    QWindow window;
    testing::internal::CaptureStderr();
    focusMovesTo(&window);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("WindowDidBecomeKey"), std::string::npos);
    EXPECT_EQ(subviewCount(*view), 0);
    EXPECT_EQ(view->logoView(), nullptr);
    EXPECT_TRUE(view->isRebuildPending());

    advance(499ms);
    EXPECT_EQ(subviewCount(*view), 0);
    focusMovesTo(&window);  // a second focus change restarts the wait: one build, not two
    advance(1ms);
    EXPECT_EQ(subviewCount(*view), 0);
    advance(498ms);
    EXPECT_EQ(subviewCount(*view), 0);
    advance(1ms);  // 0.5 s after the second change
    EXPECT_FALSE(view->isRebuildPending());
    ASSERT_EQ(view->recentFileButtons().size(), 2u);
    EXPECT_EQ(view->recentFileButtons()[0]->text(), "day2.gld");
    EXPECT_EQ(subviewCount(*view), 4);  // logo, two buttons, header
    expectLogoCentred(*view);

    // Losing focus is only logged.
    testing::internal::CaptureStderr();
    focusMovesTo(nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("WindowDidResignKey"), std::string::npos);
    EXPECT_EQ(subviewCount(*view), 4);
    advance(1s);
    EXPECT_EQ(subviewCount(*view), 4);

    // A view destroyed while its build is pending is left alone; a direct rebuild builds at
    // once and drops the pending build.
    auto doomed = makeView();
    focusMovesTo(&window);
    doomed.reset();
    view->rebuild();
    EXPECT_FALSE(view->isRebuildPending());
    EXPECT_EQ(subviewCount(*view), 4);
    advance(1s);
    EXPECT_EQ(subviewCount(*view), 4);
}

}  // namespace
