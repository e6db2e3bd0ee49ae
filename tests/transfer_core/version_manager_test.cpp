#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/transfer_core/ZipFixture.h"

#include "transfer/core/MVUpdateText.h"
#include "transfer/core/MVVersionManager.h"

#include "session/MVCircuitDatabase.h"

#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace {

using testing_support::Gate;
using testing_support::LoopbackServer;
using testing_support::TempDir;

TEST(UpdateText, PercentEncodingKeepsTheQuerySet) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Gridlark for macOS/Gridlark 2.1.pkg", "Gridlark%20for%20macOS/Gridlark%202.1.pkg"},
        {"100%", "100%25"},
        {"https://h/a?b=c&d=e:f@g", "https://h/a?b=c&d=e:f@g"},
        {"line\n", "line%0A"},
        {"caf\xC3\xA9", "caf%C3%A9"},
        {"-._~!$&'()*+,;=", "-._~!$&'()*+,;="},
        {"<>\"#[]{}|^`\\", "%3C%3E%22%23%5B%5D%7B%7D%7C%5E%60%5C"},
    };
    for (const auto& [text, encoded] : cases) EXPECT_EQ(MVUpdateText::percentEncode(text), encoded);
}

TEST(UpdateText, AFailedRequestIsToldInAFewWords) {
    struct Case {
        platform::URLError error;
        const char* words;
    };
    const auto error = [](platform::URLErrorKind kind, std::string message) {
        platform::URLError e;
        e.kind = kind;
        e.message = std::move(message);
        return e;
    };
    platform::URLError unresolved = error(platform::URLErrorKind::NoNetwork, "Could not resolve");
    unresolved.hostNotFound = true;
    platform::URLError late = error(platform::URLErrorKind::Other, "Timeout was reached");
    late.timedOut = true;
    platform::URLError redirected = error(platform::URLErrorKind::Other, "Unsupported protocol");
    redirected.redirectRefused = platform::URLRedirectRefusal::Protocol;
    for (const Case& c : {
             Case{unresolved, "host not found"},
             Case{error(platform::URLErrorKind::NoNetwork, "Connection refused"),
                  "no connection to the server"},
             Case{late, "no answer in time"},
             Case{error(platform::URLErrorKind::TLS, "SSL certificate problem"),
                  "no secure connection"},
             Case{redirected, "redirected away from https"},
             Case{error(platform::URLErrorKind::Other, "Malformed URL"), "Malformed URL"},
         }) {
        EXPECT_EQ(MVUpdateText::failureInWords(c.error), c.words);
    }
}

TEST(UpdateText, OnlyHttpsLeavesTheMachine) {
    struct Case {
        const char* url;
        bool file, loopback, permitted;
    };
    for (const Case& c : {Case{"https://updates.example/a", false, false, true},
                          Case{"HTTPS://updates.example/a", false, false, true},
                          Case{"http://updates.example/a", false, true, false},
                          Case{"http://localhost:8080/a", false, true, false},
                          Case{"http://127.0.0.1:8080/a", false, false, false},
                          Case{"http://127.0.0.1:8080/a", false, true, true},
                          Case{"http://127.0.0.1.evil.example/a", false, true, false},
                          Case{"file:///tmp/catalogue.xml", true, false, true},
                          Case{"file:///tmp/catalogue.xml", false, true, false},
                          Case{"ftp://updates.example/a", true, true, false}}) {
        EXPECT_EQ(MVUpdateText::isPermittedURL(c.url, c.file, c.loopback), c.permitted) << c.url;
    }
}

// A notification centre of the test's own that remembers what was posted.
class Posts {
  public:
    explicit Posts(platform::NotificationCenter& center) {
        token_ = center.addObserver("", nullptr, [this](const platform::Notification& n) {
            std::lock_guard lock(mutex_);
            posted_.push_back(n);
            changed_.notify_all();
        });
    }
    // Waits for the next post (a worker posts it).
    platform::Notification next() {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, std::chrono::seconds(20),
                                      [this] { return posted_.size() > taken_; }));
        if (posted_.size() <= taken_) return {};
        return posted_[taken_++];
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<platform::Notification> posted_;
    std::size_t taken_ = 0;
    platform::ObserverToken token_;
};

class VersionManager : public ::testing::Test {
  protected:
    VersionManager() : posts(center), manager(config(), center) {}

    MVVersionManager::Config config() {
        MVVersionManager::Config c;
        c.updateHost = "http://127.0.0.1:" + std::to_string(server.port());
        c.supportFolder = dir / "Morvane";
        c.builtInDatabase = dir.write("builtin.xml", "<circuits version=\"5\"/>");
        c.appVersion = "1.9";
        c.allowLoopbackHttpForTests = true;
        return c;
    }

    void serve(const std::string& path, int status, const std::string& body) {
        server.get(path, [status, body](const httplib::Request&, httplib::Response& r) {
            r.status = status;
            r.set_content(body, "application/octet-stream");
        });
    }
    void offer(const std::string& softwareVersion, const std::string& databaseVersion) {
        serve("/Updates/Gridlark for macOS/Catalogue.xml", 200,
              "<Catalogue LatestVersion=\"" + softwareVersion +
                  "\" DownloadUrl=\"Gridlark for macOS\\Gridlark 2.1.pkg\"/>");
        serve("/Updates/Circuit Database/CircuitDatabaseCatalogue.xml", 200,
              "<Catalogue LatestVersion=\"" + databaseVersion +
                  "\" DownloadUrl=\"Circuit Database\\CircuitDataBase_v5.zip\"/>");
    }
    std::filesystem::path installedDatabase() const {
        return dir / "Morvane/Trackmap Database/Start Finish Database/StartFinishDataBase.xml";
    }

    TempDir dir;
    LoopbackServer server;
    Gate gate;
    platform::NotificationCenter center;
    Posts posts;
    MVVersionManager manager;
};

TEST_F(VersionManager, CataloguesGiveTheirVersionAndTheDownloadAddress) {
    offer("2.1", "6");
    const std::string host = "http://127.0.0.1:" + std::to_string(server.port());
    const auto software = manager.softwareCatalogueInfo();
    ASSERT_TRUE(software);
    EXPECT_EQ(software->version, "2.1");
    EXPECT_EQ(software->urlToDownload, host + "/Updates/Gridlark%20for%20macOS/Gridlark%202.1.pkg");
    const auto database = manager.circuitDatabaseCatalogueInfo();
    ASSERT_TRUE(database);
    EXPECT_EQ(database->urlToDownload, host + "/Updates/Circuit%20Database/CircuitDataBase.zip");

    serve("/Updates/Circuit Database/CircuitDatabaseCatalogue.xml", 200,
          "<C LatestVersion=\"6\" DownloadUrl=\"Folder Name\\Sub\\file.zip\"/>");
    EXPECT_EQ(manager.circuitDatabaseCatalogueInfo()->urlToDownload,
              host + "/Updates/Folder%20Name/CircuitDataBase.zip");
}

TEST_F(VersionManager, UnusableCataloguesGiveNoResultAndNoUpdate) {
    const std::string path = "/Updates/Circuit Database/CircuitDatabaseCatalogue.xml";
    struct Case {
        const char* what;
        int status;
        std::string body;
        const char* problem;  // what the sheet's row says
    };
    const std::vector<Case> cases = {
        {"not XML", 200, "LatestVersion=9", "not a catalogue"},
        {"no LatestVersion", 200, "<C DownloadUrl=\"a\\b.zip\"/>", "not a catalogue"},
        {"no DownloadUrl", 200, "<C LatestVersion=\"9\"/>", "not a catalogue"},
        {"no backslash", 200, "<C LatestVersion=\"9\" DownloadUrl=\"b.zip\"/>", "not a catalogue"},
        {"404", 404, "<C LatestVersion=\"9\" DownloadUrl=\"a\\b.zip\"/>", "status 404"},
        {"500", 500, "<C LatestVersion=\"9\" DownloadUrl=\"a\\b.zip\"/>", "status 500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        serve(path, c.status, c.body);
        const auto answer = manager.circuitDatabaseCatalogue();
        EXPECT_FALSE(answer.info);
        EXPECT_EQ(answer.problem, c.problem);
        EXPECT_FALSE(manager.isCircuitDatabaseUpdateAvailable());
    }
    offer("2.0", "6");
    EXPECT_EQ(manager.circuitDatabaseCatalogue().problem, "");
    // A server that never answers: the time-out ends the question. Only this case waits it out;
    // every other question is answered well within the default one, however busy the machine.
    server.get(path, [this](const httplib::Request&, httplib::Response& r) {
        gate.wait();
        r.status = 200;
    });
    MVVersionManager::Config impatient = config();
    impatient.catalogueTimeout = std::chrono::milliseconds(300);
    EXPECT_FALSE(MVVersionManager(impatient, center).isCircuitDatabaseUpdateAvailable());
    gate.open();
}

TEST_F(VersionManager, VersionsDecideWhetherAnUpdateIsOffered) {
    offer("1.10", "5");
    EXPECT_TRUE(manager.isSoftwareUpdateAvailable());          // 1.10 after 1.9
    EXPECT_FALSE(manager.isCircuitDatabaseUpdateAvailable());  // equal
    offer("1.9", "10");
    EXPECT_FALSE(manager.isSoftwareUpdateAvailable());
    EXPECT_TRUE(manager.isCircuitDatabaseUpdateAvailable());
}

// The version shown and compared is the version of the copy the circuit reader loads.
TEST_F(VersionManager, TheDatabaseVersionIsTheOneOfTheCopyInUse) {
    TempDir data;
    struct Restore {
        std::string previous = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        ~Restore() { setenv("XDG_DATA_HOME", previous.c_str(), 1); }
    } restore;
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    offer("1.9", "10");
    struct Case {
        const char* what;
        const char* builtIn;
        const char* downloaded;
        const char* inUse;
        bool downloadedInUse;
        bool updateOffered;  // the catalogue offers 10
    };
    const Case cases[] = {
        {"built-in newer: a stale download shadows nothing", "1", "0", "1", false, true},
        {"download newer (numbers, not letters)", "9", "10", "10", true, false},
        {"equal", "5", "5", "5", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MVVersionManager::Config config = this->config();
        config.supportFolder.clear();  // the reader's folder
        config.builtInDatabase =
            dir.write(std::string("builtin") + c.builtIn + ".xml",
                      std::string("<circuits version=\"") + c.builtIn + "\"/>");
        MVVersionManager manager(config, center);
        ASSERT_TRUE(platform::folders::writeFileAtomically(
            MVCircuitDatabase::downloadedDatabasePath(),
            std::string("<circuits version=\"") + c.downloaded + "\"/>"));
        EXPECT_EQ(manager.localCircuitDatabaseVersion(), c.inUse);
        const auto read = MVCircuitDatabase::databaseInUse(config.builtInDatabase);
        EXPECT_EQ(read.version, c.inUse);
        EXPECT_EQ(read.path, c.downloadedInUse ? MVCircuitDatabase::downloadedDatabasePath()
                                               : config.builtInDatabase);
        EXPECT_EQ(manager.isCircuitDatabaseUpdateAvailable(), c.updateOffered);
    }
}

TEST_F(VersionManager, InsecureAddressesAreRefusedBeforeAnyRequest) {
    offer("9.0", "99");
    for (bool loopbackSwitch : {false, true}) {
        MVVersionManager::Config c = config();
        c.allowLoopbackHttpForTests = loopbackSwitch;
        c.updateHost = loopbackSwitch ? "http://localhost:" + std::to_string(server.port())
                                      : "http://127.0.0.1:" + std::to_string(server.port());
        MVVersionManager insecure(c, center);
        EXPECT_FALSE(insecure.softwareCatalogueInfo());
        EXPECT_FALSE(insecure.downloadCircuitDatabaseUpdate());
    }
    EXPECT_EQ(server.requestCount(), 0);
}

// An https address that redirects to plain http is not followed: a catalogue, the package and
// the circuit-database archive each fail with a reason, and nothing is replaced.
TEST_F(VersionManager, RedirectsToPlainHttpFailWithAReason) {
    const std::string host = "http://127.0.0.1:" + std::to_string(server.port());
    auto redirect = [&](const std::string& path, const std::string& to) {
        server.get(
            path, [to](const httplib::Request&, httplib::Response& r) { r.set_redirect(to, 302); });
    };
    offer("2.1", "6");
    // Whatever lies behind the plain addresses is never asked for.
    std::atomic<int> plainRequests{0};
    server.get("/plain/.*", [&plainRequests](const httplib::Request&, httplib::Response& r) {
        ++plainRequests;
        r.set_content("<C LatestVersion=\"3.0\" DownloadUrl=\"a\\b.pkg\"/>", "text/xml");
    });

    redirect("/Updates/Gridlark for macOS/Gridlark 2.1.pkg", host + "/plain/package");
    ASSERT_TRUE(manager.downloadSoftwareUpdate());
    auto failed = posts.next();
    ASSERT_EQ(failed.name, "downingErrorMessage");
    EXPECT_EQ(*failed.value<std::string>("kind"), "software");
    const std::string packageError = *failed.value<std::string>("error");
    EXPECT_NE(packageError.find("redirect"), std::string::npos) << packageError;
    EXPECT_NE(packageError.find("https"), std::string::npos) << packageError;
    EXPECT_FALSE(std::filesystem::exists(dir / "Morvane/Gridlark/Gridlark.pkg"));

    const auto installed =
        dir.write("Morvane/Trackmap Database/Start Finish Database/StartFinishDataBase.xml",
                  "<circuits version=\"5\"/>");
    redirect("/Updates/Circuit Database/CircuitDataBase.zip", host + "/plain/db.zip");
    ASSERT_TRUE(manager.downloadCircuitDatabaseUpdate());
    failed = posts.next();
    ASSERT_EQ(failed.name, "downingErrorMessage");
    EXPECT_EQ(*failed.value<std::string>("kind"), "circuitDatabase");
    EXPECT_EQ(*failed.value<std::string>("error"), packageError);
    EXPECT_EQ(testing_support::readAll(installed), "<circuits version=\"5\"/>");
    EXPECT_FALSE(std::filesystem::exists(dir / "Morvane/trackDB"));

    // A redirected catalogue gives no result and says why; a download asked for then fails with
    // that reason instead of finding "nothing to do".
    redirect("/Updates/Gridlark for macOS/Catalogue.xml", host + "/plain/Catalogue.xml");
    redirect("/Updates/Circuit Database/CircuitDatabaseCatalogue.xml", host + "/plain/db.xml");
    const auto software = manager.softwareCatalogue();
    EXPECT_FALSE(software.info);
    EXPECT_NE(software.refusal.find("catalogue"), std::string::npos) << software.refusal;
    EXPECT_NE(software.refusal.find("not https"), std::string::npos) << software.refusal;
    EXPECT_FALSE(manager.softwareCatalogueInfo());
    EXPECT_FALSE(manager.isSoftwareUpdateAvailable());
    EXPECT_EQ(manager.circuitDatabaseCatalogue().refusal, software.refusal);
    for (const char* kind : {"software", "circuitDatabase"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(std::string(kind) == "software" ? manager.downloadSoftwareUpdate()
                                                    : manager.downloadCircuitDatabaseUpdate());
        failed = posts.next();
        EXPECT_EQ(failed.name, "downingErrorMessage");
        EXPECT_EQ(*failed.value<std::string>("kind"), kind);
        EXPECT_EQ(*failed.value<std::string>("error"), software.refusal);
    }
    // A catalogue that is merely missing still means "no update", without a reason.
    serve("/Updates/Gridlark for macOS/Catalogue.xml", 404, "");
    EXPECT_EQ(manager.softwareCatalogue().refusal, "");
    EXPECT_FALSE(manager.downloadSoftwareUpdate());
    EXPECT_EQ(plainRequests, 0);
}

TEST_F(VersionManager, ACustomCatalogueAddressIsTrimmed) {
    serve("/custom/Catalogue.xml", 200,
          "<C LatestVersion=\"3.0\" DownloadUrl=\"Gridlark for macOS\\Gridlark 3.0.pkg\"/>");
    dir.write("Morvane/Gridlark/CustomUpdateUrl.txt",
              "http://127.0.0.1:" + std::to_string(server.port()) + "/custom/Catalogue.xml\n");
    const auto info = manager.softwareCatalogueInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version, "3.0");
    // A local file may name the catalogue too.
    const auto local =
        dir.write("local.xml", "<C LatestVersion=\"4.0\" DownloadUrl=\"a\\b.pkg\"/>");
    dir.write("Morvane/Gridlark/CustomUpdateUrl.txt", "  file://" + local.string() + "\n");
    EXPECT_EQ(manager.softwareCatalogueInfo()->version, "4.0");
}

TEST_F(VersionManager, PackagesRotateOnlyAfterAGoodDownload) {
    offer("2.1", "5");
    serve("/Updates/Gridlark for macOS/Gridlark 2.1.pkg", 200, "package one");
    const auto folder = dir / "Morvane/Gridlark";
    ASSERT_TRUE(manager.downloadSoftwareUpdate());
    auto done = posts.next();
    ASSERT_EQ(done.name, "downloadedSW");
    EXPECT_EQ(done.object, &manager);
    ASSERT_TRUE(done.value<std::filesystem::path>("url"));
    EXPECT_EQ(*done.value<std::filesystem::path>("url"), folder / "Gridlark.pkg");

    serve("/Updates/Gridlark for macOS/Gridlark 2.1.pkg", 200, "package two");
    ASSERT_TRUE(manager.downloadSoftwareUpdate());
    EXPECT_EQ(posts.next().name, "downloadedSW");
    EXPECT_EQ(testing_support::readAll(folder / "Gridlark.pkg"), "package two");
    EXPECT_EQ(testing_support::readAll(folder / "_Gridlark.pkg"), "package one");

    serve("/Updates/Gridlark for macOS/Gridlark 2.1.pkg", 404, "<html>not here</html>");
    ASSERT_TRUE(manager.downloadSoftwareUpdate());
    const auto failed = posts.next();
    ASSERT_EQ(failed.name, "downingErrorMessage");
    EXPECT_NE(failed.value<std::string>("error")->find("404"), std::string::npos);
    EXPECT_EQ(*failed.value<std::string>("kind"), "software");
    EXPECT_EQ(testing_support::readAll(folder / "Gridlark.pkg"), "package two");
    EXPECT_EQ(testing_support::readAll(folder / "_Gridlark.pkg"), "package one");

    offer("1.9", "5");  // nothing newer: nothing starts
    EXPECT_FALSE(manager.downloadSoftwareUpdate());
}

TEST_F(VersionManager, AGoodDatabaseArchiveIsInstalledWhereTheReaderLooks) {
    TempDir data;
    struct Restore {
        std::string previous = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        ~Restore() { setenv("XDG_DATA_HOME", previous.c_str(), 1); }
    } restore;
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    MVVersionManager::Config c = config();
    c.supportFolder.clear();
    MVVersionManager defaultFolders(c, center);
    offer("1.9", "6");
    ASSERT_TRUE(testing_support::writeZip(
        dir / "db.zip",
        {{"Start Finish DataBase/", ""},
         {"Start Finish DataBase/StartFinishDataBase.xml", "<circuits version=\"6\"/>"},
         {"DataBaseTrackmapFiles/Hilltop.PNG", "png"}}));
    serve("/Updates/Circuit Database/CircuitDataBase.zip", 200,
          testing_support::readAll(dir / "db.zip"));
    ASSERT_TRUE(defaultFolders.downloadCircuitDatabaseUpdate());
    EXPECT_EQ(posts.next().name, "downloadedTrackDB");
    EXPECT_EQ(MVCircuitDatabase::databasePathToRead(dir / "builtin.xml"),
              MVCircuitDatabase::downloadedDatabasePath());
    EXPECT_EQ(defaultFolders.localCircuitDatabaseVersion(), "6");
    EXPECT_FALSE(defaultFolders.isCircuitDatabaseUpdateAvailable());
}

TEST_F(VersionManager, ABadArchiveOrDownloadKeepsTheInstalledDatabase) {
    const auto installed =
        dir.write("Morvane/Trackmap Database/Start Finish Database/StartFinishDataBase.xml",
                  "<circuits version=\"5\"/>");
    dir.write("Morvane/Trackmap Database/CIR Files/Old.CIR", "outline");
    offer("1.9", "6");
    const std::string good = "Start Finish DataBase/StartFinishDataBase.xml";
    struct Case {
        const char* what;
        std::vector<testing_support::ZipEntry> entries;
        int status;
    };
    const std::vector<Case> cases = {
        {"absolute entry", {{good, "<c version=\"6\"/>"}, {"/tmp/x", "x"}}, 200},
        {"parent entry", {{good, "<c version=\"6\"/>"}, {"../x", "x"}}, 200},
        {"symbolic link", {{good, "<c version=\"6\"/>"}, {"CIR Files", "/etc", true}}, 200},
        {"no start/finish database", {{"CIR Files/A.CIR", "a"}}, 200},
        {"a database without version", {{good, "<c/>"}}, 200},
        {"404", {{good, "<c version=\"6\"/>"}}, 404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testing_support::writeZip(dir / "db.zip", c.entries));
        serve("/Updates/Circuit Database/CircuitDataBase.zip", c.status,
              testing_support::readAll(dir / "db.zip"));
        ASSERT_TRUE(manager.downloadCircuitDatabaseUpdate());
        const auto failed = posts.next();
        EXPECT_EQ(failed.name, "downingErrorMessage");
        EXPECT_EQ(*failed.value<std::string>("kind"), "circuitDatabase");
        EXPECT_EQ(testing_support::readAll(installed), "<circuits version=\"5\"/>");
        EXPECT_EQ(testing_support::readAll(dir / "Morvane/Trackmap Database/CIR Files/Old.CIR"),
                  "outline");
        EXPECT_FALSE(std::filesystem::exists(dir / "Morvane/Trackmap Database.incoming"));
    }
    // A broken archive names the Part's text.
    std::string truncated = testing_support::readAll(dir / "db.zip");
    serve("/Updates/Circuit Database/CircuitDataBase.zip", 200,
          truncated.substr(0, truncated.size() / 2));
    ASSERT_TRUE(manager.downloadCircuitDatabaseUpdate());
    const auto failed = posts.next();
    EXPECT_EQ(failed.value<std::string>("error")->rfind(
                  "Extraction of track ZIP archive failed with error:", 0),
              0u);
    EXPECT_EQ(testing_support::readAll(installed), "<circuits version=\"5\"/>");
}

}  // namespace
