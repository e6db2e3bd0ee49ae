// The install: run from this build folder into scratch folders as `make install` and the Debian
// package do it, then checked as a desktop would read it, and the installed program started.
#include "tests/support/ProgramProcess.h"
#include "tests/support/TempDir.h"

#include <QMimeDatabase>
#include <QString>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using testing_support::ProgramProcess;
using testing_support::TempDir;
namespace fs = std::filesystem;

constexpr auto kLimit = 60s;

// The files an install places, relative to the prefix.
std::set<std::string> expectedFiles() {
    std::set<std::string> files = {
        "bin/gridlark",
        "share/gridlark/StartFinishDataBase.xml",
        "share/gridlark/samples/sample.gld",
        "share/applications/gridlark.desktop",
        "share/mime/packages/gridlark.xml",
        "share/doc/gridlark/copyright",
        "share/doc/gridlark/changelog.gz",
        "share/icons/hicolor/scalable/apps/gridlark.svg",
    };
    std::stringstream sizes(GRIDLARK_ICON_SIZES);
    for (std::string size; std::getline(sizes, size, ',');) {
        files.insert("share/icons/hicolor/" + size + "x" + size + "/apps/gridlark.png");
    }
    return files;
}

std::set<std::string> filesUnder(const fs::path& root) {
    std::set<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_directory()) files.insert(fs::relative(it->path(), root).string());
    }
    return files;
}

std::vector<std::string> callerEnvironment(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("DESTDIR=", 0) != 0) env.emplace_back(*e);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Runs a tool to its end; its exit code (-1 when it did not end in time) and its output.
std::pair<int, std::string> run(const fs::path& tool, const std::vector<std::string>& arguments,
                                const std::vector<std::string>& env = callerEnvironment(),
                                const fs::path& workingFolder = {}) {
    ProgramProcess process(tool, arguments, env, workingFolder);
    const auto status = process.waitForExit(kLimit);
    if (!status) return {-1, process.output()};
    return {WIFEXITED(*status) ? WEXITSTATUS(*status) : 128, process.output()};
}

fs::path tool(const std::string& name) {
    for (const char* folder : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        if (fs::exists(fs::path(folder) / name)) return fs::path(folder) / name;
    }
    return {};
}

struct InstallTest : ::testing::Test {
    TempDir scratch;
    fs::path destdir = scratch / "stage";
    fs::path prefix = destdir / "usr";

    // As the package does it: prefix /usr, staged under DESTDIR.
    void stage() {
        const auto [code, output] =
            run(GRIDLARK_CMAKE_COMMAND, {"--install", GRIDLARK_BUILD_DIR, "--prefix", "/usr"},
                callerEnvironment({"DESTDIR=" + destdir.string()}));
        ASSERT_EQ(code, 0) << output;
    }
    // A live install (no DESTDIR) into `prefix` as given.
    static std::pair<int, std::string> install(const std::string& prefix,
                                               const fs::path& workingFolder = {}) {
        return run(GRIDLARK_CMAKE_COMMAND, {"--install", GRIDLARK_BUILD_DIR, "--prefix", prefix},
                   callerEnvironment(), workingFolder);
    }
    // `make uninstall PREFIX=<prefix>`, run in `workingFolder`.
    static std::pair<int, std::string> uninstall(const std::string& prefix,
                                                 const fs::path& workingFolder = {}) {
        return run(GRIDLARK_CMAKE_COMMAND,
                   {"-DMANIFEST=" + std::string(GRIDLARK_BUILD_DIR) + "/install_manifest.txt",
                    "-DPREFIX=" + prefix, "-P",
                    std::string(GRIDLARK_SOURCE_DIR) + "/cmake/Uninstall.cmake"},
                   callerEnvironment(), workingFolder);
    }
};

TEST_F(InstallTest, PlacesTheProgramItsResourcesAndTheDesktopFiles) {
    ASSERT_NO_FATAL_FAILURE(stage());
    EXPECT_EQ(filesUnder(destdir / "usr"), expectedFiles());
    EXPECT_EQ(filesUnder(destdir).size(), expectedFiles().size()) << "files outside the prefix";
    const auto permissions = fs::status(prefix / "bin/gridlark").permissions();
    EXPECT_NE(permissions & fs::perms::others_exec, fs::perms::none);

    // The entry as the desktop's own checker reads it.
    const fs::path validate = tool("desktop-file-validate");
    ASSERT_FALSE(validate.empty()) << "desktop-file-validate is missing: run scripts/install-deps";
    const auto [code, said] = run(validate, {(prefix / "share/applications/gridlark.desktop")});
    EXPECT_EQ(code, 0) << said;
    EXPECT_EQ(said, "");  // not even a hint
    const std::string entry =
        testing_support::readAll(prefix / "share/applications/gridlark.desktop");
    // The program by its full path in the prefix (the package's /usr here).
    EXPECT_THAT(entry, ::testing::HasSubstr("\nExec=/usr/bin/gridlark %F\n"));
    EXPECT_THAT(entry, ::testing::HasSubstr("\nMimeType=application/x-gridlark-session;\n"));
    EXPECT_THAT(entry, ::testing::HasSubstr("\nIcon=gridlark\n"));
}

TEST_F(InstallTest, SessionFilesAreKnownByTheirNameAndByTheirFirstLine) {
    ASSERT_NO_FATAL_FAILURE(stage());
    const fs::path xml = prefix / "share/mime/packages/gridlark.xml";
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(xml.c_str())) << "the file type does not parse";
    const pugi::xml_node type = document.child("mime-info").child("mime-type");
    EXPECT_STREQ(type.attribute("type").value(), "application/x-gridlark-session");
    EXPECT_STREQ(type.child("glob").attribute("pattern").value(), "*.gld");

    // The database as the desktop builds it from the package file, then asked as a file manager
    // asks it.
    const fs::path update = tool("update-mime-database");
    ASSERT_FALSE(update.empty()) << "update-mime-database is missing: run scripts/install-deps";
    const auto [code, said] = run(update, {(prefix / "share/mime").string()});
    ASSERT_EQ(code, 0) << said;
    setenv("XDG_DATA_HOME", (scratch / "nothing").c_str(), 1);
    setenv("XDG_DATA_DIRS", ((prefix / "share").string() + ":/usr/share").c_str(), 1);
    const QMimeDatabase database;
    const QString gridlark = "application/x-gridlark-session";
    EXPECT_EQ(
        database.mimeTypeForFile("Brands Hatch 14-06.gld", QMimeDatabase::MatchExtension).name(),
        gridlark);
    const fs::path renamed =
        scratch.write("session-without-extension", "[header]\r\nSatellites\r\nTime\r\n[data]\r\n");
    const QMimeType byContent = database.mimeTypeForFile(QString::fromStdString(renamed.string()),
                                                         QMimeDatabase::MatchContent);
    EXPECT_EQ(byContent.name(), gridlark);
    EXPECT_TRUE(byContent.inherits("text/plain"));
    EXPECT_NE(database.mimeTypeForData(QByteArray("Satellites\r\n[header]\r\n")).name(), gridlark);
}

TEST_F(InstallTest, TheInstalledProgramFillsItsLapTableFromItsOwnResources) {
    ASSERT_NO_FATAL_FAILURE(stage());
    TempDir home;
    // Started from elsewhere, so nothing but its own location leads it to its resources.
    ProgramProcess program(prefix / "bin/gridlark",
                           {(prefix / "share/gridlark/samples/sample.gld").string()},
                           testing_support::programEnvironment(home.path()), "/");
    // The sample's laps are cut with the installed circuit database's gate.
    ASSERT_TRUE(program.waitForOutput("gridlark: lap table filled (5 laps)", 1, kLimit))
        << program.output();
    program.terminate();
    const auto status = program.waitForExit(kLimit);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << program.output();
}

TEST_F(InstallTest, UninstallingALivePrefixLeavesNothingBehind) {
    // No DESTDIR: the install also brings the prefix's file-type and entry caches up to date.
    // Of the prefix, only bin/ and share/icons/hicolor/48x48/ were there before.
    const fs::path live = scratch / "live";
    fs::create_directories(live / "bin");
    fs::create_directories(live / "share/icons/hicolor/48x48");
    const auto [installed, installSaid] = install(live.string());
    ASSERT_EQ(installed, 0) << installSaid;
    EXPECT_TRUE(fs::exists(live / "share/mime/mime.cache"));
    EXPECT_THAT(testing_support::readAll(live / "share/applications/mimeinfo.cache"),
                ::testing::HasSubstr("application/x-gridlark-session=gridlark.desktop;"));

    // Uninstalling another prefix by this manifest touches none of its files, and fails saying
    // where the install placed them.
    const auto [other, otherSaid] = uninstall((scratch / "other").string());
    EXPECT_NE(other, 0) << otherSaid;
    EXPECT_THAT(otherSaid, ::testing::HasSubstr("Nothing removed"));
    EXPECT_THAT(otherSaid, ::testing::HasSubstr(live.string()));
    EXPECT_TRUE(fs::exists(live / "bin/gridlark"));
    EXPECT_TRUE(fs::exists(live / "share/mime/packages/gridlark.xml"));
    EXPECT_TRUE(fs::exists(live / "share/mime/mime.cache"));

    const auto [removed, removeSaid] = uninstall(live.string());
    ASSERT_EQ(removed, 0) << removeSaid;
    EXPECT_EQ(filesUnder(live), std::set<std::string>{});
    // Every folder the install made went with its files; the prefix and the folders that were
    // there before stay.
    std::set<std::string> folders;
    for (const auto& entry : fs::recursive_directory_iterator(live)) {
        folders.insert(fs::relative(entry.path(), live).string());
    }
    EXPECT_EQ(folders, (std::set<std::string>{"bin", "share", "share/icons", "share/icons/hicolor",
                                              "share/icons/hicolor/48x48"}));

    // A prefix the install made is itself never removed.
    const fs::path fresh = scratch / "fresh";
    ASSERT_EQ(install(fresh.string()).first, 0);
    ASSERT_EQ(uninstall(fresh.string()).first, 0);
    EXPECT_TRUE(fs::is_directory(fresh));
    EXPECT_TRUE(fs::is_empty(fresh));
}

TEST_F(InstallTest, UninstallFindsTheInstallHoweverItsPrefixIsSpelled) {
    struct Case {
        const char* what;
        std::string installAs;    // relative to the scratch folder, where both run
        std::string uninstallAs;  // likewise
    };
    for (const Case& c : {Case{"trailing slash", "trailing", "trailing/"},
                          Case{"relative and absolute", "relative", ""},
                          Case{"doubled slashes and dots", "dots", ".//dots/./"},
                          Case{"a way round", "round", "elsewhere/../round"},
                          Case{"odd at the install", "odd//", "odd"}}) {
        SCOPED_TRACE(c.what);
        const fs::path prefix = scratch / fs::path(c.installAs).lexically_normal();
        const std::string uninstallAs = c.uninstallAs.empty() ? prefix.string() : c.uninstallAs;
        const auto [installed, installSaid] = install(c.installAs, scratch.path());
        ASSERT_EQ(installed, 0) << installSaid;
        ASSERT_TRUE(fs::exists(prefix / "bin/gridlark"));
        const auto [removed, said] = uninstall(uninstallAs, scratch.path());
        EXPECT_EQ(removed, 0) << said;
        EXPECT_EQ(filesUnder(prefix), std::set<std::string>{}) << said;
        EXPECT_TRUE(fs::is_empty(prefix)) << said;  // the folders it made went too
    }
}

}  // namespace
