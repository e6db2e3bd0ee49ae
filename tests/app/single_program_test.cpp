// One program per user session: the hand-over message, the running program's side in this
// process, and real program starts against a runtime folder of the test's own.
#include "tests/support/ProgramProcess.h"
#include "tests/support/TempDir.h"

#include "app/SingleProgram.h"

#include "platform/Folders.h"

#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testing_support::ProgramProcess;
using testing_support::TempDir;
namespace fs = std::filesystem;

constexpr auto kLimit = 20s;

// ---- The message -------------------------------------------------------------------------------

TEST(SingleProgramMessage, CarriesAnyPathsInOrder) {
    const std::vector<QStringList> cases = {
        {},
        {"/tracks/a.gld"},
        {"/with space/b.gld", "/line\nbreak/c.gld", QString::fromUtf8("/caf\u00e9/d.gld")},
    };
    for (const QStringList& files : cases) {
        const auto decoded = SingleProgram::decode(SingleProgram::encode(files));
        ASSERT_TRUE(decoded.has_value()) << files.join(",").toStdString();
        EXPECT_EQ(*decoded, files);
    }
}

TEST(SingleProgramMessage, IsReadOnlyWhenWholeAndHeaded) {
    const std::string whole = SingleProgram::encode({"/a.gld", "/b.gld"});
    // Every cut short of the closing NUL is not (yet) a message.
    for (size_t size = 0; size < whole.size(); ++size) {
        EXPECT_FALSE(SingleProgram::decode(whole.substr(0, size)).has_value()) << size;
    }
    // Bytes after the closing NUL are not part of it.
    EXPECT_EQ(SingleProgram::decode(whole + "junk").value(), QStringList({"/a.gld", "/b.gld"}));
    std::string wrongHeader = whole;
    wrongHeader[0] = 'X';
    EXPECT_FALSE(SingleProgram::decode(wrongHeader).has_value());
    // An empty path cannot be sent: it would end the message early.
    EXPECT_EQ(SingleProgram::decode(SingleProgram::encode({"", "/c.gld"})).value(),
              QStringList({"/c.gld"}));
}

// ---- The running program's side, in this process -------------------------------------------

struct SingleProgramTest : ::testing::Test {
    TempDir home;
    fs::path folder = home / "gridlark";

    // Runs `start` on a thread of its own while this thread delivers the running program's
    // events, as the program's event loop would.
    SingleProgram::Role startElsewhere(const QStringList& files) {
        std::atomic<bool> done{false};
        SingleProgram::Role role = SingleProgram::Role::Failed;
        std::thread other([&] {
            SingleProgram second(folder);
            role = second.start(files, 10s);
            done = true;
        });
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 15000);
        other.join();
        EXPECT_TRUE(finished);
        return role;
    }
};

TEST_F(SingleProgramTest, TheRunningProgramOpensHandedFilesInOrderThenRaisesItsWindow) {
    SingleProgram running(folder);
    ASSERT_EQ(running.start({}), SingleProgram::Role::Running) << running.problem();
    QStringList opened;
    int raised = 0;
    QObject::connect(&running, &SingleProgram::openRequested,
                     [&](const QString& path) { opened.append(path); });
    QObject::connect(&running, &SingleProgram::raiseRequested, [&] {
        // Every file of the hand-over has been announced first.
        EXPECT_EQ(opened.size() % 2, 0);
        ++raised;
    });

    EXPECT_EQ(startElsewhere({"relative.gld", "/abs/other.gld"}), SingleProgram::Role::HandedOver);
    ASSERT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 5000));
    // A relative name is made absolute in the starting process's own working folder.
    EXPECT_EQ(opened,
              QStringList({QDir::current().absoluteFilePath("relative.gld"), "/abs/other.gld"}));

    // A start without files only raises the window.
    EXPECT_EQ(startElsewhere({}), SingleProgram::Role::HandedOver);
    ASSERT_TRUE(QTest::qWaitFor([&] { return raised == 2; }, 5000));
    EXPECT_EQ(opened.size(), 2);
}

TEST_F(SingleProgramTest, AStrangerOnTheSocketIsDroppedAndTheNextStartStillHandsOver) {
    SingleProgram running(folder);
    ASSERT_EQ(running.start({}), SingleProgram::Role::Running);
    int raised = 0;
    QObject::connect(&running, &SingleProgram::raiseRequested, [&] { ++raised; });

    const int stranger = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = running.socketPath().string();
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::connect(stranger, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string noise = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(::write(stranger, noise.data(), noise.size()), static_cast<ssize_t>(noise.size()));
    // The running program hangs up on it.
    char byte = 0;
    bool hungUp = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const ssize_t n = ::recv(stranger, &byte, 1, MSG_DONTWAIT);
            hungUp = n == 0;
            return n >= 0;
        },
        5000));
    EXPECT_TRUE(hungUp);
    ::close(stranger);
    EXPECT_EQ(raised, 0);

    EXPECT_EQ(startElsewhere({}), SingleProgram::Role::HandedOver);
    EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 5000));
}

TEST_F(SingleProgramTest, ASocketFileLeftByACrashedRunIsReplaced) {
    ASSERT_TRUE(fs::create_directory(folder));
    fs::permissions(folder, fs::perms::owner_all);
    // A socket that nobody listens on any more, as a killed program leaves it.
    {
        SingleProgram probe(folder);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = probe.socketPath().string();
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(fd, 1), 0);
        ::close(fd);
    }
    SingleProgram running(folder);
    ASSERT_EQ(running.start({}), SingleProgram::Role::Running) << running.problem();
    EXPECT_EQ(startElsewhere({}), SingleProgram::Role::HandedOver);
}

TEST_F(SingleProgramTest, AProgramThatIsQuittingLetsTheNextStartRunByItself) {
    SingleProgram quitting(folder);
    ASSERT_EQ(quitting.start({}), SingleProgram::Role::Running);
    quitting.stop();
    EXPECT_FALSE(fs::exists(quitting.socketPath()));
    SingleProgram next(folder);
    EXPECT_EQ(next.start({"/a.gld"}, 1s), SingleProgram::Role::Running) << next.problem();
}

TEST_F(SingleProgramTest, AFolderThatIsNotPlainlyTheUsersOwnIsRefused) {
    fs::create_directory(home / "elsewhere");
    fs::create_directory_symlink(home / "elsewhere", folder);
    SingleProgram running(folder);
    EXPECT_EQ(running.start({}), SingleProgram::Role::Alone);
    EXPECT_NE(running.problem().find("not a folder"), std::string::npos) << running.problem();
    EXPECT_TRUE(fs::is_empty(home / "elsewhere"));
}

// ---- Real program starts --------------------------------------------------------------------

constexpr const char* kFilled = "gridlark: lap table filled";
constexpr const char* kFilledFive = "gridlark: lap table filled (5 laps)";
constexpr const char* kFilledTen = "gridlark: lap table filled (10 laps)";

struct SingleProgramProcessTest : ::testing::Test {
    TempDir home;
    std::vector<std::string> env = testing_support::programEnvironment(home.path());
    fs::path sample = platform::folders::programResources() / "samples" / "sample.gld";
    fs::path folder = home.path() / "run" / "gridlark";

    std::unique_ptr<ProgramProcess> start(const std::vector<std::string>& files,
                                          const fs::path& workingFolder = {}) {
        return std::make_unique<ProgramProcess>(GRIDLARK_EXECUTABLE, files, env, workingFolder);
    }
    static void quit(ProgramProcess& program) {
        program.terminate();
        const auto status = program.waitForExit(kLimit);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << program.output();
    }
};

TEST_F(SingleProgramProcessTest, ASecondStartHandsItsFileToTheRunningProgramAndExits) {
    auto first = start({sample.string()});
    ASSERT_TRUE(first->waitForOutput(kFilledFive, 1, kLimit)) << first->output();

    // A relative name, as a file manager in the file's folder may give it.
    auto second = start({sample.filename().string()}, sample.parent_path());
    const auto status = second->waitForExit(kLimit);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << second->output();
    EXPECT_NE(second->output().find("handed 1 file(s) to the running Gridlark"), std::string::npos)
        << second->output();
    // The running program loads it beside the first.
    EXPECT_TRUE(first->waitForOutput(kFilledTen, 1, kLimit)) << first->output();

    // A start without files hands nothing over and leaves the running program as it was.
    auto third = start({});
    const auto thirdStatus = third->waitForExit(kLimit);
    ASSERT_TRUE(thirdStatus.has_value());
    EXPECT_TRUE(WIFEXITED(*thirdStatus) && WEXITSTATUS(*thirdStatus) == 0) << third->output();
    EXPECT_EQ(testing_support::occurrences(first->output(), kFilled), 2);
    quit(*first);
}

TEST_F(SingleProgramProcessTest, AStaleSocketFromAKilledRunDoesNotBlockTheNextStart) {
    auto killed = start({sample.string()});
    ASSERT_TRUE(killed->waitForOutput(kFilledFive, 1, kLimit)) << killed->output();
    ::kill(killed->pid(), SIGKILL);
    ASSERT_TRUE(killed->waitForExit(kLimit).has_value());
    ASSERT_TRUE(fs::exists(folder / "program.socket"));  // left behind

    auto next = start({sample.string()});
    ASSERT_TRUE(next->waitForOutput(kFilledFive, 1, kLimit)) << next->output();
    auto handed = start({sample.string()});
    const auto status = handed->waitForExit(kLimit);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << handed->output();
    EXPECT_TRUE(next->waitForOutput(kFilledTen, 1, kLimit)) << next->output();
    quit(*next);
}

TEST_F(SingleProgramProcessTest, TwoStartsAtTheSameInstantEndWithOneProgramHoldingBothFiles) {
    auto a = start({sample.string()});
    auto b = start({sample.string()});
    // One of them hands over and exits 0; the other goes on and loads both files.
    const auto settled = [](const std::string& out) {
        return out.find("handed 1 file(s)") != std::string::npos ||
               out.find(kFilledTen) != std::string::npos;
    };
    ASSERT_TRUE(a->waitUntil(settled, kLimit)) << a->output() << "\n----\n" << b->output();
    ProgramProcess* running =
        settled(a->output()) && a->output().find(kFilledTen) != std::string::npos ? a.get()
                                                                                  : b.get();
    ASSERT_TRUE(running->waitForOutput(kFilledTen, 1, kLimit)) << a->output() << "\n----\n"
                                                               << b->output();
    ProgramProcess* other = running == a.get() ? b.get() : a.get();
    const auto status = other->waitForExit(kLimit);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << other->output();
    EXPECT_EQ(testing_support::occurrences(other->output(), kFilled), 0);
    EXPECT_FALSE(running->waitForExit(0ms).has_value());  // still running
    quit(*running);
}

}  // namespace
