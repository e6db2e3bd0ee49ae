#include "tests/support/TempDir.h"
#include "tests/support/TestClips.h"

#include "views/MVThumbnailFolder.h"
#include "views/MVThumbnailsGenerator.h"

#include <QImage>
#include <QLocale>
#include <QTest>
#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testing_support::TempDir;

class ThumbnailsGenerator : public ::testing::Test {
  protected:
    // A fake ffmpeg: a shell script chosen through the path setting. `$out` is the last
    // argument; `$dir` is this test's folder.
    std::unique_ptr<MVThumbnailsGenerator> withFake(
        const std::string& body, std::optional<std::filesystem::path> folder = std::nullopt) {
        const auto script = dir.write("bin/ffmpeg", "#!/bin/sh\nfor out; do :; done\ndir='" +
                                                        dir.path().string() + "'\n" + body);
        ::chmod(script.c_str(), 0755);
        defaults.setString("FFmpegPath", script.string());
        return std::make_unique<MVThumbnailsGenerator>(defaults, folder ? *folder : dir / "thumbs");
    }

    // Slots 0..n-1 of one (empty) video file.
    std::vector<MVThumbnailInfo> slotList(int n) {
        const auto video = dir.write("VID0001.mp4", "");
        std::vector<MVThumbnailInfo> infos;
        for (int k = 0; k < n; ++k) infos.push_back({video, k * 2.0, static_cast<std::size_t>(k)});
        return infos;
    }

    std::string copyPng() {
        QImage image(160, 100, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.save(QString::fromStdString((dir / "frame.png").string()));
        return "cp \"$dir/frame.png\" \"$out\"\n";
    }

    TempDir dir;
    platform::UserDefaults defaults{dir / "defaults.json"};
    std::vector<std::int64_t> published;
    std::vector<platform::ObserverToken> tokens;

    void record(MVThumbnailsGenerator& g) {
        tokens.push_back(
            g.observeArrayOfImageAndIndex([this](const auto&, const MVThumbnailImageAndIndex& f) {
                published.push_back(f.index);
            }));
    }
};

TEST_F(ThumbnailsGenerator, ArgumentsUseADecimalPointWhateverTheLocale) {
    const MVThumbnailInfo info{"/v/VID0001.mp4", 0.0, 7};
    const QStringList expected = {"-ss",      "0.000000", "-i",  "/v/VID0001.mp4",
                                  "-f",       "image2",   "-vf", "scale='160:100'",
                                  "-vframes", "1",        "-y",  "/t/7.png"};
    EXPECT_EQ(MVThumbnailsGenerator::argumentsFor(info, "/t/7.png"), expected);

    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::string cBefore = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // when installed
    const QStringList german =
        MVThumbnailsGenerator::argumentsFor({"/v/a.mp4", 12.5, 0}, "/t/0.png");
    std::setlocale(LC_NUMERIC, cBefore.c_str());
    QLocale::setDefault(before);
    EXPECT_EQ(german.at(1), "12.500000");
}

TEST_F(ThumbnailsGenerator, FailedRunsAndUnreadableImagesPublishNothing) {
    for (const std::string& body :
         {copyPng() + "exit 1\n", std::string("printf 'not a png' > \"$out\"\n"),
          std::string("head -c 40 \"$dir/frame.png\" > \"$out\"\n"), std::string("exit 0\n")}) {
        auto generator = withFake(body);
        record(*generator);
        generator->setInfos(slotList(2));
        generator->startGeneratingThumnailsAtStartIndex(0, 5);  // cut at slot 1
        ASSERT_TRUE(QTest::qWaitFor([&] { return generator->runningCount() == 0; }, 10000));
        EXPECT_TRUE(published.empty()) << body;
    }
    auto generator = withFake(copyPng());
    record(*generator);
    generator->setInfos(slotList(2));
    generator->startGeneratingThumnailsAtStartIndex(0, 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return published.size() == 2; }, 10000));
    EXPECT_EQ(std::set<std::int64_t>(published.begin(), published.end()),
              (std::set<std::int64_t>{0, 1}));
    EXPECT_EQ(generator->arrayOfImageAndIndex().image.size(), QSize(160, 100));
}

TEST_F(ThumbnailsGenerator, AtMostThreeRunAndANewRequestKillsTheOldOnesAndDropsTheirFrames) {
    // Each fake writes its frame at once, notes its process id, then waits for "go".
    auto generator = withFake(copyPng() +
                              "echo $$ >> \"$dir/pids\"\n"
                              "while [ ! -e \"$dir/go\" ]; do sleep 0.02; done\n");
    record(*generator);
    generator->setInfos(slotList(8));
    generator->startGeneratingThumnailsAtStartIndex(0, 5);
    EXPECT_EQ(generator->runningCount(), 3);
    EXPECT_EQ(generator->waitingCount(), 3);
    auto pidCount = [&] {
        std::ifstream in(dir / "pids");
        std::vector<int> pids;
        for (int pid; in >> pid;) pids.push_back(pid);
        return pids;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return pidCount().size() == 3; }, 10000));
    const std::vector<int> first = pidCount();

    generator->startGeneratingThumnailsAtStartIndex(6, 7);
    for (int pid : first) EXPECT_NE(::kill(pid, 0), 0) << "process " << pid << " still runs";
    dir.write("go", "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return generator->runningCount() == 0; }, 10000));
    EXPECT_EQ(std::set<std::int64_t>(published.begin(), published.end()),
              (std::set<std::int64_t>{6, 7}));
}

// Two running copies, each in its own process folder: one copy's cancel leaves the frames the
// other made where they are.
TEST_F(ThumbnailsGenerator, TwoCopiesKeepTheirFramesApart) {
    const auto running = [](pid_t pid) { return pid == 1001 || pid == 1002; };
    const MVThumbnailFolder first(dir / "thumbnails", 1001, running);
    const MVThumbnailFolder second(dir / "thumbnails", 1002, running);
    ASSERT_NE(first.path(), second.path());
    auto making = withFake(copyPng(), second.path());
    record(*making);
    making->setInfos(slotList(2));
    making->startGeneratingThumnailsAtStartIndex(0, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return published.size() == 2; }, 10000));
    const auto frames = [](const std::filesystem::path& folder) {
        int count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            count += entry.path().extension() == ".png";
        }
        return count;
    };
    ASSERT_EQ(frames(second.path()), 2);

    auto cancelling = withFake(copyPng(), first.path());
    cancelling->setInfos(slotList(2));
    cancelling->startGeneratingThumnailsAtStartIndex(0, 1);
    cancelling->cancelGeneratingThumbnails();
    EXPECT_EQ(frames(second.path()), 2);
    first.remove();
    EXPECT_FALSE(std::filesystem::exists(first.path()));
    EXPECT_EQ(frames(second.path()), 2);
}

// At start the folders of processes that no longer run go; nothing else under the root does,
// and nothing is followed through a link.
TEST(ThumbnailFolder, LeftoversOfDeadProcessesGoAtStartAndTheOwnFolderAtExit) {
    TempDir dir;
    const std::filesystem::path root = dir / "thumbnails";
    const auto precious = dir.write("outside/precious.png", "x");
    dir.write("thumbnails/1001/request-0/0.png", "x");  // still running
    dir.write("thumbnails/1002/request-3/1.png", "x");  // gone
    dir.write("thumbnails/notes/keep.txt", "x");
    dir.write("thumbnails/1004", "a file, not a folder");
    std::filesystem::create_directory_symlink(dir / "outside", root / "1003");

    const MVThumbnailFolder own(root, 1000, [](pid_t pid) { return pid == 1001; });
    EXPECT_EQ(own.path(), root / "1000");
    ASSERT_TRUE(std::filesystem::is_directory(own.path()));
    EXPECT_EQ(std::filesystem::status(own.path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_TRUE(std::filesystem::exists(root / "1001/request-0/0.png"));
    EXPECT_FALSE(std::filesystem::exists(root / "1002"));
    EXPECT_TRUE(std::filesystem::exists(root / "notes/keep.txt"));
    EXPECT_TRUE(std::filesystem::exists(root / "1004"));
    EXPECT_TRUE(std::filesystem::is_symlink(root / "1003"));
    EXPECT_TRUE(std::filesystem::exists(precious));

    own.remove();
    EXPECT_FALSE(std::filesystem::exists(own.path()));
    EXPECT_TRUE(std::filesystem::exists(root / "1001/request-0/0.png"));
}

TEST(ThumbnailFolder, ARunningProcessIsAliveAndAReapedOneIsNot) {
    EXPECT_TRUE(MVThumbnailFolder::processIsAlive(::getpid()));
    pid_t child = 0;
    char program[] = "/bin/true";
    char* arguments[] = {program, nullptr};
    ASSERT_EQ(::posix_spawn(&child, program, nullptr, nullptr, arguments, environ), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(MVThumbnailFolder::processIsAlive(child));
}

TEST_F(ThumbnailsGenerator, MissingFfmpegOrVideoRunsNothing) {
    defaults.setString("FFmpegPath", (dir / "nowhere/ffmpeg").string());
    MVThumbnailsGenerator none(defaults, dir / "thumbs");
    none.setInfos(slotList(2));
    none.startGeneratingThumnailsAtStartIndex(0, 1);
    EXPECT_EQ(none.runningCount(), 0);

    auto generator = withFake(copyPng());
    generator->setInfos({{dir / "missing.mp4", 0.0, 0}});
    generator->startGeneratingThumnailsAtStartIndex(0, 0);
    EXPECT_EQ(generator->runningCount(), 0);
}

TEST_F(ThumbnailsGenerator, RealFfmpegMakesDifferentFramesAtTwoTimes) {
    testing_support::ClipOptions options;
    options.seconds = 20;
    options.width = 320;
    options.height = 200;
    options.framesPerSecond = 25;
    const auto clip = dir / "VID0001.mp4";
    if (!testing_support::makeVideoClip(clip, options)) GTEST_SKIP() << "no ffmpeg";
    MVThumbnailsGenerator generator(defaults, dir / "thumbs");
    ASSERT_TRUE(generator.ffmpegPath());
    std::map<std::int64_t, QImage> frames;
    auto token = generator.observeArrayOfImageAndIndex(
        [&](const auto&, const MVThumbnailImageAndIndex& f) { frames[f.index] = f.image; });
    generator.setInfos({{clip, 0.0, 0}, {clip, 7.5, 1}});
    generator.startGeneratingThumnailsAtStartIndex(0, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames.size() == 2; }, 15000));
    EXPECT_EQ(frames[0].size(), QSize(160, 100));
    EXPECT_NE(frames[0], frames[1]);
}

}  // namespace
