#include "tests/support/LoopbackServer.h"
#include "tests/support/MainQueuePump.h"
#include "tests/support/TempDir.h"

#include "transfer/DownloadViewController.h"

#include "widgets/MVSpinningProgressIndicator.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

using testing_support::LoopbackServer;
using testing_support::MainQueuePump;
using testing_support::TempDir;

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
        {
            // A slow update server: the answer waits while the gate is closed.
            std::unique_lock lock(gateMutex);
            gateChanged.wait_for(lock, std::chrono::seconds(20), [this] { return gateOpen; });
        }
        if (!refusal.empty()) return {std::nullopt, refusal, {}};
        return {softwareCatalogueInfo(), {}, {}};
    }
    void setGate(bool open) {
        {
            std::lock_guard lock(gateMutex);
            gateOpen = open;
        }
        gateChanged.notify_all();
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
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool gateOpen = true;
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

// Opened again, the sheet says that a check runs, offers no update and shows none of the last
// check's answers until the new answers come; an earlier check that ends late is not shown.
TEST_F(UpdateSheet, ShowsThatACheckRunsUntilItsAnswerComes) {
    refresh();
    ASSERT_EQ(sheet.onlineSWVersion()->text(), "Latest v2.0");
    manager.setGate(false);
    QSignalSpy refreshed(&sheet, &DownloadViewController::versionsRefreshed);
    sheet.refreshVersions();
    sheet.refreshVersions();  // opened twice while the server is slow
    MainQueuePump::drain();
    EXPECT_EQ(sheet.onlineSWVersion()->text(), DownloadViewController::checkingText());
    EXPECT_EQ(sheet.onlineTrackDBVersion()->text(), DownloadViewController::checkingText());
    EXPECT_FALSE(sheet.buttonSoftwareUpdate()->isEnabled());
    EXPECT_FALSE(sheet.buttonTrackDBUpdate()->isEnabled());
    EXPECT_EQ(refreshed.count(), 0);

    manager.setGate(true);
    ASSERT_TRUE(MainQueuePump::until([&] { return refreshed.count() > 0; }));
    ASSERT_TRUE(platform::drainGlobalQueueFor(std::chrono::seconds(20)));
    MainQueuePump::drain();
    EXPECT_EQ(refreshed.count(), 1) << "only the latest check is shown";
    EXPECT_EQ(sheet.onlineSWVersion()->text(), "Latest v2.0");
    EXPECT_EQ(sheet.onlineTrackDBVersion()->text(), "Latest v7");
    EXPECT_TRUE(sheet.buttonSoftwareUpdate()->isEnabled());
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

// The sheet with the real update checker, reading catalogues from a loopback server of the
// test's own.
class UpdateSheetOnServer : public ::testing::Test {
  protected:
    static constexpr char kSoftware[] = "/Updates/Gridlark for macOS/Catalogue.xml";
    static constexpr char kDatabase[] = "/Updates/Circuit Database/CircuitDatabaseCatalogue.xml";

    void serve(const std::string& path, int status, const std::string& body) {
        server.get(path, [status, body](const httplib::Request&, httplib::Response& r) {
            r.status = status;
            r.set_content(body, "application/xml");
        });
    }
    static std::string catalogue(const std::string& version) {
        return "<Catalogue LatestVersion=\"" + version + "\" DownloadUrl=\"Folder\\file.zip\"/>";
    }
    // Opens a sheet on an update checker whose host is `host` and waits for its answers.
    std::unique_ptr<DownloadViewController> openSheet(const std::string& host) {
        MVVersionManager::Config config;
        config.updateHost = host;
        config.supportFolder = dir / "Morvane";
        config.builtInDatabase = dir.write("builtin.xml", "<circuits version=\"5\"/>");
        config.appVersion = "1.9";
        config.allowLoopbackHttpForTests = true;
        config.catalogueTimeout = std::chrono::seconds(5);
        manager = std::make_unique<MVVersionManager>(config, center);
        auto sheet = std::make_unique<DownloadViewController>(nullptr, *manager, center);
        QSignalSpy refreshed(sheet.get(), &DownloadViewController::versionsRefreshed);
        sheet->refreshVersions();
        EXPECT_TRUE(MainQueuePump::until([&] { return refreshed.count() > 0; }));
        return sheet;
    }

    TempDir dir;
    LoopbackServer server;
    platform::NotificationCenter center;
    std::unique_ptr<MVVersionManager> manager;
};

TEST_F(UpdateSheetOnServer, EachRowShowsItsOwnCataloguesAnswer) {
    struct Case {
        const char* what;
        int softwareStatus;
        std::string softwareBody;
        int databaseStatus;
        std::string databaseBody;
        const char* softwareRow;
        const char* databaseRow;
        bool softwareUpdate, databaseUpdate;
    };
    const std::vector<Case> cases = {
        {"both answer", 200, catalogue("2.0"), 200, catalogue("7"), "Latest v2.0", "Latest v7",
         true, true},
        {"the program's catalogue fails", 500, catalogue("2.0"), 200, catalogue("7"),
         "Latest version unknown: status 500", "Latest v7", false, true},
        {"the database's is no catalogue", 200, catalogue("2.0"), 200, "<html>busy</html>",
         "Latest v2.0", "Latest version unknown: not a catalogue", true, false},
        {"neither", 404, "", 200, "LatestVersion=9", "Latest version unknown: status 404",
         "Latest version unknown: not a catalogue", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve(kSoftware, c.softwareStatus, c.softwareBody);
        serve(kDatabase, c.databaseStatus, c.databaseBody);
        const auto sheet = openSheet(server.url(""));
        EXPECT_EQ(sheet->onlineSWVersion()->text().toStdString(), c.softwareRow);
        EXPECT_EQ(sheet->onlineTrackDBVersion()->text().toStdString(), c.databaseRow);
        EXPECT_EQ(sheet->buttonSoftwareUpdate()->isEnabled(), c.softwareUpdate);
        EXPECT_EQ(sheet->buttonTrackDBUpdate()->isEnabled(), c.databaseUpdate);
    }
}

// One check reads each catalogue once: a server that never answers costs one time-out each.
TEST_F(UpdateSheetOnServer, ACheckReadsEachCatalogueOnce) {
    auto software = std::make_shared<std::atomic<int>>(0);
    auto database = std::make_shared<std::atomic<int>>(0);
    server.get(kSoftware, [software](const httplib::Request&, httplib::Response& r) {
        ++*software;
        r.set_content(catalogue("2.0"), "application/xml");
    });
    server.get(kDatabase, [database](const httplib::Request&, httplib::Response& r) {
        ++*database;
        r.set_content(catalogue("7"), "application/xml");
    });
    const auto sheet = openSheet(server.url(""));
    EXPECT_EQ(sheet->onlineSWVersion()->text(), "Latest v2.0");
    EXPECT_TRUE(sheet->buttonSoftwareUpdate()->isEnabled());
    EXPECT_TRUE(sheet->buttonTrackDBUpdate()->isEnabled());
    EXPECT_EQ(software->load(), 1);
    EXPECT_EQ(database->load(), 1);
}

TEST_F(UpdateSheetOnServer, AnOwnCatalogueOffersItsVersionWhileTheHostIsDown) {
    serve("/mine/Catalogue.xml", 200, catalogue("2.1"));
    dir.write("Morvane/Gridlark/CustomUpdateUrl.txt", server.url("/mine/Catalogue.xml"));
    const std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort());
    const auto sheet = openSheet(closed);
    EXPECT_EQ(sheet->onlineSWVersion()->text(), "Latest v2.1");
    EXPECT_TRUE(sheet->buttonSoftwareUpdate()->isEnabled());
    EXPECT_EQ(sheet->onlineTrackDBVersion()->text(),
              "Latest version unknown: no connection to the server");
    EXPECT_FALSE(sheet->buttonTrackDBUpdate()->isEnabled());
}

}  // namespace
