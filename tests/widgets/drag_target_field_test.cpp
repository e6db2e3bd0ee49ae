#include "tests/support/TempDir.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using testing_support::TempDir;

std::unique_ptr<QMimeData> mime(const QList<QUrl>& urls, const QString& text = {}) {
    auto data = std::make_unique<QMimeData>();
    if (!urls.isEmpty()) data->setUrls(urls);
    if (!text.isEmpty()) data->setText(text);
    return data;
}

// Drops a payload on the field the way the window system does; true when the drop was taken.
bool drop(MVTextFieldSupportDrag& field, const QMimeData& data) {
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(&field, &enter);
    if (!enter.isAccepted()) return false;
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent event(QPointF(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&field, &event);
    return event.isAccepted();
}

class DragTargetField : public ::testing::Test {
  protected:
    DragTargetField() : defaults(dir / "defaults.json") {
        field.setDefaults(defaults);
        token = platform::NotificationCenter::defaultCenter().addObserver(
            MVSourceURLChanged, nullptr, [this](const platform::Notification& n) {
                ++posts;
                EXPECT_EQ(n.object, nullptr);
                EXPECT_TRUE(n.userInfo.empty());
                EXPECT_EQ(field.text().toStdString(), (dir / "cards").string());
            });
    }
    TempDir dir;
    platform::UserDefaults defaults;
    MVTextFieldSupportDrag field;
    platform::ObserverToken token;
    int posts = 0;
};

TEST_F(DragTargetField, AcceptsOnlyLocalFileLocations) {
    struct Case {
        const char* what;
        QList<QUrl> urls;
        QString text;
        bool accepted;
    };
    const QString local = QString::fromStdString((dir / "a folder").string());
    const std::vector<Case> cases = {
        {"a local folder", {QUrl::fromLocalFile(local)}, {}, true},
        {"first of several", {QUrl::fromLocalFile(local), QUrl::fromLocalFile("/tmp")}, {}, true},
        {"plain text that looks like a path", {}, local, false},
        {"a web address", {QUrl("https://example.org/a")}, {}, false},
        {"no payload", {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        field.setUrl(std::nullopt);
        auto data = mime(c.urls, c.text);
        EXPECT_EQ(drop(field, *data), c.accepted);
        EXPECT_EQ(field.text(), c.accepted ? local : QString());
        EXPECT_EQ(field.url().has_value(), c.accepted);
    }
}

TEST_F(DragTargetField, TagDecidesWhatADropDoesBesidesShowingIt) {
    field.setTag(MVTextFieldSupportDrag::kSourceFolderTag);
    ASSERT_TRUE(drop(
        field, *mime({QUrl::fromLocalFile(QString::fromStdString((dir / "cards").string()))})));
    EXPECT_EQ(posts, 1);
    EXPECT_FALSE(defaults.hasKey(MVHelper::Default_DestinationFolder()));

    field.setTag(2);
    ASSERT_TRUE(drop(field, *mime({QUrl::fromLocalFile("/srv/other")})));
    EXPECT_EQ(field.text(), "/srv/other");
    EXPECT_EQ(posts, 1);
    EXPECT_FALSE(defaults.hasKey(MVHelper::Default_DestinationFolder()));

    field.setTag(MVTextFieldSupportDrag::kDestinationFolderTag);
    ASSERT_TRUE(drop(field, *mime({QUrl::fromLocalFile("/srv/first")})));
    ASSERT_TRUE(drop(field, *mime({QUrl::fromLocalFile("/srv/second")})));
    EXPECT_EQ(posts, 1);
    platform::UserDefaults reopened(defaults.file());
    EXPECT_EQ(reopened.stringForKey(MVHelper::Default_DestinationFolder()), "/srv/second");
}

TEST_F(DragTargetField, SetUrlShowsTheLocationAndTellsNobody) {
    field.setTag(MVTextFieldSupportDrag::kDestinationFolderTag);
    field.setUrl(std::filesystem::path("/home/driver/Desktop"));
    EXPECT_EQ(field.text(), "/home/driver/Desktop");
    field.setUrl(std::nullopt);
    EXPECT_EQ(field.text(), "");
    EXPECT_FALSE(field.url());
    EXPECT_EQ(posts, 0);
    EXPECT_FALSE(defaults.hasKey(MVHelper::Default_DestinationFolder()));
}

TEST(FolderSize, CountsFilesAtEveryDepthAndSkipsWhatCannotBeRead) {
    TempDir dir;
    std::filesystem::create_directories(dir / "empty");
    EXPECT_EQ(folderSizeForURL(dir / "empty"), 0u);
    EXPECT_EQ(folderSizeForURL(dir / "missing"), 0u);

    dir.write("card/top.gld", std::string(100, 'a'));
    dir.write("card/DCIM/100/clip.mp4", std::string(2000, 'b'));
    dir.write("card/DCIM/100/deeper/x.bin", std::string(30, 'c'));
    std::filesystem::create_directories(dir / "card/empty sub");
    // A link to nowhere and a link to a big file outside: neither adds a byte.
    dir.write("outside.bin", std::string(5000, 'd'));
    std::filesystem::create_symlink(dir / "gone", dir / "card/dangling");
    std::filesystem::create_symlink(dir / "outside.bin", dir / "card/link");
    EXPECT_EQ(folderSizeForURL(dir / "card"), 2130u);
}

TEST(FolderSize, AFolderWithoutPermissionIsSkippedAndTheRestCounted) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir dir;
    dir.write("card/a.bin", std::string(10, 'a'));
    dir.write("card/locked/b.bin", std::string(20, 'b'));
    dir.write("card/z/c.bin", std::string(40, 'c'));
    std::filesystem::permissions(dir / "card/locked", std::filesystem::perms::none);
    EXPECT_EQ(folderSizeForURL(dir / "card"), 50u);
    std::filesystem::permissions(dir / "card/locked", std::filesystem::perms::owner_all);
}

}  // namespace
