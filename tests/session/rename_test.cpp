#include "tests/support/ManualSession.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGLDFormat.h"
#include "session/MVLaps.h"
#include "session/MVSessionFileRename.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
namespace Rename = MVSessionFileRename;
using Rename::Status;
using testing_support::readAll;
using testing_support::TempDir;

const std::string kHead =
    "[header]\r\nSatellites\r\nTime\r\navifileindex\r\n[comments]\r\nlogged on a loop\r\n";
const std::string kTail =
    "[column names]\r\nsat time avi\r\n[data]\r\n9 100000.00 0001\r\n9 100000.10 0002\r\n";

std::string sessionText(const std::string& section) {
    return kHead + section + kTail;
}

// Every file under a folder with its bytes, by path relative to the folder.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] = readAll(entry.path());
        }
    }
    return files;
}

// A session "run1.gld" with two mp4 videos, alone in a temporary folder.
struct SessionFolder {
    TempDir dir;
    fs::path session;
    std::vector<fs::path> videos;

    explicit SessionFolder(const std::string& name = "run1", const std::string& extension = "mp4",
                           std::string text = {}) {
        if (text.empty()) {
            text = sessionText("[avi]\r\n" + name + "\r\n" + extension + "\r\n\r\n");
        }
        session = dir.write(name + ".gld", text);
        for (const char* number : {"0001", "0002"}) {
            videos.push_back(dir.write(name + number + "." + extension,
                                       std::string("video ") + number + " of " + name));
        }
    }
};

TEST(SessionRename, MovesTheSessionAndItsVideosAndRewritesTheVideoSection) {
    struct Case {
        const char* oldName;
        const char* extension;
        const char* newName;
        std::string section;
    };
    const Case cases[] = {
        {"run1", "avi", "run2", "[avi]\r\nrun2\r\n\r\n"},
        {"run1", "AVI", "run2", "[avi]\r\nrun2\r\n\r\n"},
        {"Session A", "mp4", "Race", "[avi]\r\nRace\r\nmp4\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.newName + std::string(".") + c.extension);
        SessionFolder folder(c.oldName, c.extension);
        const auto before = snapshot(folder.dir.path());
        fs::path url = folder.session;
        std::vector<fs::path> videos = folder.videos;

        const auto result = Rename::changeFileName(c.newName, url, videos);

        ASSERT_EQ(result.status, Status::Renamed) << result.message;
        const std::string stem = c.newName;
        const std::string ext = std::string(".") + c.extension;
        EXPECT_EQ(url, folder.dir / (stem + ".gld"));
        EXPECT_EQ(videos, (std::vector<fs::path>{folder.dir / (stem + "0001" + ext),
                                                 folder.dir / (stem + "0002" + ext)}));
        // Nothing but the three renamed files is left, the videos byte for byte.
        std::map<std::string, std::string> expected = {
            {stem + ".gld", sessionText(c.section)},
            {stem + "0001" + ext, before.at(std::string(c.oldName) + "0001" + ext)},
            {stem + "0002" + ext, before.at(std::string(c.oldName) + "0002" + ext)},
        };
        EXPECT_EQ(snapshot(folder.dir.path()), expected);
    }
}

TEST(SessionRename, KeepsEverythingOutsideTheVideoSectionByteForByte) {
    // Upper-case marker and LF line ends: the text around the section is kept as it is.
    const std::string head = "[header]\nTime\n[laptiming]\nStart 1 2 3 4\n";
    const std::string tail = "[column names]\ntime\n[data]\n100000.00\n";
    SessionFolder folder("clip", "MP4", head + "[AVI]\nclip\nMP4\n\n" + tail);
    fs::path url = folder.session;
    std::vector<fs::path> videos = folder.videos;
    ASSERT_TRUE(Rename::changeFileName("Race", url, videos).renamed());
    EXPECT_EQ(readAll(url), head + "[avi]\r\nRace\r\nMP4\r\n\r\n" + tail);

    // Only a whole "[avi]" line is the section; the same text inside another line is not.
    EXPECT_EQ(Rename::rewriteVideoSection("note: [avi] below\n[avi]\nx\n[column names]\nc\n",
                                          "Race", "avi"),
              "note: [avi] below\n[avi]\r\nRace\r\n\r\n[column names]\nc\n");

    // A generated session: the rewritten file names the videos by the new base name for a
    // reader of the section, and its samples are untouched.
    testing_support::SessionOptions options;
    options.laps = 1;
    options.withVideo = true;
    options.videoBaseName = "day1";
    const std::string text = testing_support::generateSession(options).text;
    TempDir dir;
    url = dir.write("day1.gld", text);
    videos = {dir.write("day10001.mp4", "v")};
    ASSERT_TRUE(Rename::changeFileName("day2", url, videos).renamed());
    const std::string rewritten = readAll(url);
    const auto column = MVGLDFormat::kColumnNamesSection;
    EXPECT_EQ(rewritten.substr(rewritten.find(column)), text.substr(text.find(column)));
    std::vector<std::string> lines;
    for (const std::string& line : MVGLDFormat::splitLines(rewritten)) {
        if (!line.empty()) lines.push_back(line);
    }
    const auto avi = std::find(lines.begin(), lines.end(), "[avi]");
    ASSERT_GT(lines.end() - avi, 2);
    EXPECT_EQ(avi[1], "day2");
    EXPECT_EQ(MVGLDFormat::aviExtension(avi[2]), "mp4");
    EXPECT_TRUE(fs::exists(dir / "day20001.mp4"));
}

TEST(SessionRename, SessionWithoutVideosRenamesTheSessionFileAlone) {
    TempDir dir;
    const std::string text = kHead + kTail;
    fs::path url = dir.write("run1.gld", text);
    const std::vector<fs::path> placeholder = {dir / "nil.nil"};
    std::vector<fs::path> videos = placeholder;

    const auto result = Rename::changeFileName("run2", url, videos);

    ASSERT_EQ(result.status, Status::Renamed) << result.message;
    EXPECT_EQ(url, dir / "run2.gld");
    EXPECT_EQ(videos, placeholder);
    EXPECT_EQ(snapshot(dir.path()), (std::map<std::string, std::string>{{"run2.gld", text}}));
}

// Every refusal leaves every file as it was, and the summary's fields too.
TEST(SessionRename, RefusalsLeaveEveryFileUntouched) {
    struct Case {
        const char* what;
        std::string newName;
        Status status;
        std::map<std::string, std::string> extraFiles = {};
        std::string text = {};         // the session text, when not the usual one
        bool dropSecondVideo = false;  // the second video is listed but not there
        bool secondVideoLong = false;  // the second video's number has five digits
    };
    const Case cases[] = {
        {"same name", "run1", Status::Unchanged},
        {"empty name", "", Status::Unchanged},
        {"not ASCII", "R\xC3\xA9nn", Status::InvalidName},
        {"slash", "a/b", Status::InvalidName},
        {"dot", ".", Status::InvalidName},
        {"dot dot", "..", Status::InvalidName},
        {"line break", "run2\r\n[data]", Status::InvalidName},
        {"control byte", std::string("run\0x", 5), Status::InvalidName},
        {"section line", "[column names]", Status::InvalidName},
        {"session target exists", "taken", Status::TargetExists, {{"taken.gld", "other"}}},
        {"later video target exists", "taken", Status::TargetExists, {{"taken0002.mp4", "other"}}},
        {"two videos with one target", "run2", Status::DuplicateTarget, {}, {}, false, true},
        {"video missing", "run2", Status::SourceMissing, {}, {}, true},
        {"no column names",
         "run2",
         Status::NoColumnNames,
         {},
         kHead + "[avi]\r\nrun1\r\nmp4\r\n[data]\r\n9 100000.00 0001\r\n"},
        {"column names before the section",
         "run2",
         Status::NoColumnNames,
         {},
         kHead + "[column names]\r\nsat\r\n[avi]\r\nrun1\r\nmp4\r\n[data]\r\n9 1 0001\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionFolder folder("run1", "mp4", c.text);
        for (const auto& [name, bytes] : c.extraFiles) folder.dir.write(name, bytes);
        if (c.secondVideoLong) {
            fs::rename(folder.videos[1], folder.dir / "run110001.mp4");
            folder.videos[1] = folder.dir / "run110001.mp4";
        }
        if (c.dropSecondVideo) fs::remove(folder.videos[1]);
        const auto before = snapshot(folder.dir.path());
        fs::path url = folder.session;
        std::vector<fs::path> videos = folder.videos;

        const auto result = Rename::changeFileName(c.newName, url, videos);

        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_EQ(result.message.empty(), c.status == Status::Unchanged);
        EXPECT_EQ(result.message.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
        EXPECT_EQ(snapshot(folder.dir.path()), before);
        EXPECT_EQ(url, folder.session);
        EXPECT_EQ(videos, folder.videos);
    }
}

TEST(SessionRename, LaterFailedMovePutsBackEverythingAlreadyMoved) {
    struct Case {
        const char* what;
        bool targetAppears;  // else the second video disappears
        Status status;
    };
    const Case cases[] = {
        {"a target that appears after the checks", true, Status::TargetExists},
        {"a video that disappears after the checks", false, Status::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionFolder folder;
        const Rename::Plan plan = Rename::prepare("run2", folder.session, folder.videos);
        ASSERT_TRUE(plan.ready()) << plan.message;
        ASSERT_TRUE(plan.newSessionText.has_value());
        // Between the checks and the moves the second video's target is taken (or its source
        // goes away); the session file and the first video will have been moved by then.
        if (c.targetAppears) {
            folder.dir.write("run20002.mp4", "someone else's video");
        } else {
            fs::remove(folder.videos[1]);
        }
        const auto before = snapshot(folder.dir.path());

        const auto result = Rename::commit(plan);

        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_FALSE(result.message.empty());
        EXPECT_EQ(result.sessionURL, folder.session);
        EXPECT_EQ(result.videoURLs, folder.videos);
        // Old names back, the intruder untouched, no temporary file left behind.
        EXPECT_EQ(snapshot(folder.dir.path()), before);
    }
}

TEST(SessionRename, RewrittenSessionKeepsItsPermissions) {
    SessionFolder folder;
    ASSERT_EQ(::chmod(folder.session.c_str(), 0640), 0);
    fs::path url = folder.session;
    std::vector<fs::path> videos = folder.videos;
    ASSERT_TRUE(Rename::changeFileName("run2", url, videos).renamed());
    struct stat info {};
    ASSERT_EQ(::stat(url.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(SessionRename, NewVideoNameKeepsTheVideoNumberAndExtension) {
    EXPECT_EQ(Rename::newVideoURL("/d/run10001.avi", "Race"), fs::path("/d/Race0001.avi"));
    EXPECT_EQ(Rename::newVideoURL("/d/ab.MP4", "Race"), fs::path("/d/Raceab.MP4"));
    // Characters, not bytes: a multi-byte character is never cut.
    EXPECT_EQ(Rename::newVideoURL("/d/x\xC3\xA9"
                                  "123.mp4",
                                  "R"),
              fs::path("/d/R\xC3\xA9"
                       "123.mp4"));
}

// The rename of a loaded session: the session is found by its address, and its laps follow.
class LoadedSessionRename : public ::testing::Test {
  protected:
    MVGLDFileManager manager;

    // Installs a session with a whole-file lap linking `videos` and one lap linking the second;
    // returns that lap.
    MVLapPtr install(const std::string& displayName, const fs::path& url,
                     const std::vector<fs::path>& videos) {
        testing_support::ManualSession session(displayName, {"time"});
        session.addRow(0.0, 0.0, 0.0, 0.0);
        session.addRow(0.1, 0.0, 0.0, 0.0);
        const std::size_t index = session.install(manager);
        manager.arrayOfWholeFileMVLaps()[index]->lapAtIndex(0)->setVideoURLs(videos);
        auto lap = session.lap(0, 1);
        lap->setVideoURLs(std::vector<fs::path>{videos.back()});
        manager.arrayOfMVLaps()[index]->addLap(lap);
        auto urls = manager.arrayOfGLDURLs();
        urls.push_back(url);
        manager.setArrayOfGLDURLs(urls);
        return lap;
    }
};

TEST_F(LoadedSessionRename, UpdatesTheLapsAndTheStoredAddress) {
    SessionFolder folder;
    const MVLapPtr lap = install("run1", folder.session, folder.videos);

    const auto result = Rename::changeFileName("run2", folder.session, manager);

    ASSERT_EQ(result.status, Status::Renamed) << result.message;
    const std::vector<fs::path> moved = {folder.dir / "run20001.mp4", folder.dir / "run20002.mp4"};
    EXPECT_EQ(manager.arrayOfWholeFileMVLaps()[0]->lapAtIndex(0)->videoURLs(), moved);
    EXPECT_EQ(lap->videoURLs(), std::vector<fs::path>{moved[1]});
    EXPECT_EQ(manager.arrayOfGLDURLs(), std::vector<fs::path>{folder.dir / "run2.gld"});
    EXPECT_EQ(manager.gldFileNames(), std::vector<std::string>{"run1"});
    EXPECT_EQ(readAll(folder.dir / "run2.gld"), sessionText("[avi]\r\nrun2\r\nmp4\r\n\r\n"));
}

TEST_F(LoadedSessionRename, SameFileNameInTwoFoldersRenamesTheOneAtTheAddress) {
    SessionFolder first;
    SessionFolder second;
    install("run1", first.session, first.videos);
    install("run1 (1)", second.session, second.videos);
    const auto firstBefore = snapshot(first.dir.path());

    ASSERT_TRUE(Rename::changeFileName("run2", second.session, manager).renamed());

    EXPECT_EQ(snapshot(first.dir.path()), firstBefore);
    EXPECT_TRUE(fs::exists(second.dir / "run20002.mp4"));
    EXPECT_EQ(manager.arrayOfGLDURLs()[0], first.session);
    EXPECT_EQ(manager.arrayOfGLDURLs()[1], second.dir / "run2.gld");
}

TEST_F(LoadedSessionRename, SessionNotLoadedOrRefusedChangesNothing) {
    SessionFolder folder;
    const auto before = snapshot(folder.dir.path());
    EXPECT_EQ(Rename::changeFileName("run2", folder.session, manager).status,
              Status::SessionNotLoaded);
    EXPECT_EQ(snapshot(folder.dir.path()), before);

    const MVLapPtr lap = install("run1", folder.session, folder.videos);
    folder.dir.write("run20002.mp4", "taken");
    const auto taken = snapshot(folder.dir.path());
    EXPECT_EQ(Rename::changeFileName("run2", folder.session, manager).status, Status::TargetExists);
    EXPECT_EQ(snapshot(folder.dir.path()), taken);
    EXPECT_EQ(manager.arrayOfWholeFileMVLaps()[0]->lapAtIndex(0)->videoURLs(), folder.videos);
    EXPECT_EQ(lap->videoURLs(), std::vector<fs::path>{folder.videos[1]});
    EXPECT_EQ(manager.arrayOfGLDURLs(), std::vector<fs::path>{folder.session});
}

// A manager bound to its loading queue refuses the new address off that queue: every file goes
// back where it was and the laps keep their videos. On the queue the same rename goes through.
TEST_F(LoadedSessionRename, OffTheLoadingQueueTheRefusedAddressPutsEveryFileBack) {
    SessionFolder folder;
    const MVLapPtr lap = install("run1", folder.session, folder.videos);
    manager.bindListsToLoadingQueue();
    const auto before = snapshot(folder.dir.path());

    testing::internal::CaptureStderr();
    const auto refused = Rename::changeFileName("run2", folder.session, manager);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(refused.status, Status::Failed);
    EXPECT_NE(refused.message.find("refused the new address"), std::string::npos)
        << refused.message;
    EXPECT_EQ(snapshot(folder.dir.path()), before);
    EXPECT_EQ(manager.arrayOfWholeFileMVLaps()[0]->lapAtIndex(0)->videoURLs(), folder.videos);
    EXPECT_EQ(lap->videoURLs(), std::vector<fs::path>{folder.videos[1]});
    EXPECT_EQ(manager.arrayOfGLDURLs(), std::vector<fs::path>{folder.session});

    Rename::Result renamed;
    MVGLDFileManager::loadingQueue().async(
        [&] { renamed = Rename::changeFileName("run2", folder.session, manager); });
    ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
    EXPECT_EQ(renamed.status, Status::Renamed) << renamed.message;
    EXPECT_EQ(manager.arrayOfGLDURLs(), std::vector<fs::path>{folder.dir / "run2.gld"});
    EXPECT_EQ(lap->videoURLs(), std::vector<fs::path>{folder.dir / "run20002.mp4"});
}

}  // namespace
