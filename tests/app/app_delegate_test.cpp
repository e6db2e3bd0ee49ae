// The open panel's selection announcements: each change once, the same file again never, and
// the first selection of the next panel again.
#include "app/AppDelegate.h"
#include "session/MVNotifications.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <any>
#include <filesystem>
#include <vector>

namespace {

TEST(OpenPanel, SelectionChangesAreAnnouncedOnce) {
    AppDelegate delegate;
    std::vector<std::filesystem::path> announced;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVFileSelected, nullptr, [&](const platform::Notification& note) {
            announced.push_back(std::any_cast<std::filesystem::path>(note.userInfo.at("url")));
        });

    for (const char* path : {"/cards/a.gld", "/cards/b.gld", "/cards/b.gld", "", "/cards/a.gld"}) {
        delegate.panelSelectionDidChange(QString::fromUtf8(path));
    }
    EXPECT_EQ(announced,
              (std::vector<std::filesystem::path>{"/cards/a.gld", "/cards/b.gld", "/cards/a.gld"}));
}

}  // namespace
