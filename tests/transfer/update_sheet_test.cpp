#include "tests/support/MainQueuePump.h"

#include "transfer/DownloadViewController.h"

#include "widgets/MVSpinningProgressIndicator.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>

namespace {

using testing_support::MainQueuePump;

// Turning, and not fading out after a stop.
bool spinning(const MVSpinningProgressIndicator* spinner) {
    return spinner->isAnimating() && !spinner->isFadingOut();
}

// Answers as told; counts the downloads started (they are asked on a worker).
struct FakeManager final : MVVersionManaging {
    std::string appVersionString() override { return "1.9"; }
    std::string localCircuitDatabaseVersion() override { return database; }
    std::optional<CatalogueInfo> softwareCatalogueInfo() override {
        if (!reachable) return std::nullopt;
        return CatalogueInfo{"2.0", "https://updates.example/p.pkg"};
    }
    std::optional<CatalogueInfo> circuitDatabaseCatalogueInfo() override {
        if (!reachable) return std::nullopt;
        return CatalogueInfo{"7", "https://updates.example/db.zip"};
    }
    CatalogueAnswer softwareCatalogue() override {
        if (!refusal.empty()) return {std::nullopt, refusal};
        return {softwareCatalogueInfo(), {}};
    }
    bool isSoftwareUpdateAvailable() override { return reachable; }
    bool isCircuitDatabaseUpdateAvailable() override { return reachable; }
    bool downloadSoftwareUpdate() override {
        ++downloads;
        return starts;
    }
    bool downloadCircuitDatabaseUpdate() override {
        ++downloads;
        return starts;
    }
    std::atomic<bool> reachable{true};
    std::atomic<bool> starts{true};
    std::atomic<int> downloads{0};
    std::string database = "5";
    std::string refusal;  // the software catalogue's, when set
};

class UpdateSheet : public ::testing::Test {
  protected:
    UpdateSheet() : sheet(nullptr, manager, center) {
        sheet.setPackageOpener([this](const std::filesystem::path& p) { opened.push_back(p); });
        sheet.setConfirmation(
            [this](QWidget*, const QString& title, const QString&, std::function<void()> onOK) {
                alerts.push_back(title.toStdString());
                pendingOK = std::move(onOK);
            });
    }
    void refresh() {
        QSignalSpy refreshed(&sheet, &DownloadViewController::versionsRefreshed);
        sheet.refreshVersions();
        ASSERT_TRUE(MainQueuePump::until([&] { return refreshed.count() > 0; }));
    }
    void press(QPushButton* button, int downloadsAfter) {
        button->click();
        ASSERT_TRUE(MainQueuePump::until([&] { return manager.downloads == downloadsAfter; }));
        MainQueuePump::drain();
    }
    void post(const std::string& name, platform::UserInfo info = {}) {
        center.post(name, &manager, std::move(info));
        MainQueuePump::drain();
    }

    FakeManager manager;
    platform::NotificationCenter center;
    DownloadViewController sheet;
    std::vector<std::filesystem::path> opened;
    std::vector<std::string> alerts;
    std::function<void()> pendingOK;
};

TEST_F(UpdateSheet, ShowsInstalledAndLatestVersions) {
    refresh();
    EXPECT_EQ(sheet.labelSoftware()->text(), "Gridlark v1.9");
    EXPECT_EQ(sheet.labelTrackDB()->text(), "Circuit DB v5");
    EXPECT_EQ(sheet.onlineSWVersion()->text(), "Latest v2.0");
    EXPECT_EQ(sheet.onlineTrackDBVersion()->text(), "Latest v7");
    EXPECT_TRUE(sheet.buttonSoftwareUpdate()->isEnabled());
    EXPECT_TRUE(sheet.buttonTrackDBUpdate()->isEnabled());
}

TEST_F(UpdateSheet, AnUnreachableHostKeepsTheLatestLabelsAndDisablesUpdates) {
    manager.reachable = false;
    const QString before = sheet.onlineSWVersion()->text();
    refresh();
    EXPECT_EQ(sheet.labelTrackDB()->text(), "Circuit DB v5");
    EXPECT_EQ(sheet.onlineSWVersion()->text(), before);
    EXPECT_FALSE(sheet.buttonSoftwareUpdate()->isEnabled());
    EXPECT_FALSE(sheet.buttonTrackDBUpdate()->isEnabled());
}

TEST_F(UpdateSheet, ARefusedCatalogueSaysWhy) {
    manager.reachable = false;
    manager.refusal = "The update server redirected the catalogue to an address that is not https.";
    refresh();
    EXPECT_EQ(sheet.messageLabel()->text().toStdString(),
              "The update check failed: " + manager.refusal);
    EXPECT_FALSE(sheet.buttonSoftwareUpdate()->isEnabled());
    // Merely unreachable: no update, and nothing to say.
    manager.refusal.clear();
    sheet.messageLabel()->clear();
    refresh();
    EXPECT_TRUE(sheet.messageLabel()->text().isEmpty());
}

TEST_F(UpdateSheet, CloseWaitsForBothDownloadsAndTheOpenerForOK) {
    refresh();
    press(sheet.buttonSoftwareUpdate(), 1);
    press(sheet.buttonTrackDBUpdate(), 2);
    EXPECT_TRUE(sheet.startDownloadSW() && sheet.startDownloadTrackDB());
    EXPECT_TRUE(spinning(sheet.progressSoftware()));
    EXPECT_FALSE(sheet.buttonClose()->isEnabled());

    post(MVVersionManager::kDownloadedSW,
         {{"url", std::filesystem::path("/data/Gridlark.deb")}, {"kind", std::string("software")}});
    EXPECT_FALSE(sheet.startDownloadSW());
    EXPECT_FALSE(spinning(sheet.progressSoftware()));
    EXPECT_FALSE(sheet.buttonClose()->isEnabled());  // the database is still coming
    ASSERT_EQ(alerts, std::vector<std::string>{"Install Gridlark"});
    EXPECT_TRUE(opened.empty());
    pendingOK();
    EXPECT_EQ(opened, std::vector<std::filesystem::path>{"/data/Gridlark.deb"});

    manager.database = "7";
    post(MVVersionManager::kDownloadedTrackDB);
    EXPECT_TRUE(sheet.buttonClose()->isEnabled());
    EXPECT_EQ(sheet.labelTrackDB()->text(), "Circuit DB v7");
    EXPECT_FALSE(sheet.buttonTrackDBUpdate()->isEnabled());
}

TEST_F(UpdateSheet, AFailureShowsItsTextAndResetsItsKind) {
    refresh();
    press(sheet.buttonSoftwareUpdate(), 1);
    press(sheet.buttonTrackDBUpdate(), 2);
    post(MVVersionManager::kDownloadError,
         {{"error", std::string("The server answered with status 404.")},
          {"kind", std::string("circuitDatabase")}});
    EXPECT_TRUE(sheet.messageLabel()->text().contains("status 404"));
    EXPECT_FALSE(sheet.startDownloadTrackDB());
    EXPECT_FALSE(spinning(sheet.progressTrackDB()));
    EXPECT_TRUE(sheet.buttonTrackDBUpdate()->isEnabled());
    EXPECT_TRUE(sheet.startDownloadSW());
    EXPECT_FALSE(sheet.buttonClose()->isEnabled());

    post(MVVersionManager::kDownloadedSW);  // without "url": done look, no alert
    EXPECT_TRUE(sheet.buttonClose()->isEnabled());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(UpdateSheet, ADownloadThatFindsNothingToDoReturnsToIdle) {
    refresh();
    manager.starts = false;
    press(sheet.buttonSoftwareUpdate(), 1);
    EXPECT_FALSE(sheet.startDownloadSW());
    EXPECT_FALSE(spinning(sheet.progressSoftware()));
    EXPECT_TRUE(sheet.buttonClose()->isEnabled());
    EXPECT_FALSE(sheet.messageLabel()->text().isEmpty());
}

}  // namespace
