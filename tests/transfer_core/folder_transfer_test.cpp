#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/TempDir.h"

#include "transfer/core/MVFolderTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using testing_support::readAll;
using testing_support::TempDir;
namespace fs = std::filesystem;
using Mode = MVFolderTransfer::Mode;
using Status = MVFolderTransfer::Status;

// A card's recording folder: two sessions, a video and a nested folder.
struct FakeCard {
    TempDir root;
    fs::path source = root / "CARD/media";
    fs::path destination = root / "Documents/Gridlark";
    fs::path final = destination / "2026-12-10 Larkfield Loop/Session";
    FakeCard() {
        root.write("CARD/media/a.gld", "[header]\r\nsession a\r\n");
        root.write("CARD/media/b.gld", std::string(3000, 'b'));
        root.write("CARD/media/video/a0001.avi", std::string(2'500'000, '\x7f'));
        fs::create_directories(destination);
    }
};

void expectSameTree(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        fs::path copy = to / entry.path().lexically_relative(from);
        ASSERT_TRUE(fs::exists(copy)) << copy;
        if (entry.is_regular_file()) {
            EXPECT_EQ(readAll(entry.path()), readAll(copy)) << copy;
        }
    }
}

TEST(FolderTransfer, CopiesByteForByteAndCountsBytes) {
    FakeCard card;
    MVFolderTransfer transfer;
    std::atomic<int> calls{0};
    MVFolderTransfer::Result reported;
    ASSERT_TRUE(transfer.start(Mode::Copy, card.source, card.final, [&](const auto& result) {
        reported = result;
        ++calls;
    }));
    transfer.wait();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reported.status, Status::Succeeded);
    EXPECT_EQ(transfer.bytesCopied(), transfer.totalBytes());
    EXPECT_EQ(transfer.totalBytes(), 21u + 3000u + 2'500'000u);
    expectSameTree(card.source, card.final);
    EXPECT_TRUE(fs::exists(card.source / "a.gld"));
}

TEST(FolderTransfer, MoveRemovesTheSourceOnlyAfterEverythingArrived) {
    FakeCard card;
    MVFolderTransfer transfer;
    bool sourceWholeBeforeLastFile = false;
    transfer.setBeforeFileHook([&](std::size_t done) {
        if (done == 2) sourceWholeBeforeLastFile = fs::exists(card.source / "a.gld");
    });
    ASSERT_TRUE(transfer.start(Mode::Move, card.source, card.final, {}));
    transfer.wait();
    EXPECT_EQ(transfer.status(), Status::Succeeded);
    EXPECT_TRUE(sourceWholeBeforeLastFile);
    EXPECT_FALSE(fs::exists(card.source));
    EXPECT_EQ(readAll(card.final / "video/a0001.avi").size(), 2'500'000u);
}

TEST(FolderTransfer, MoveDeletesOnlyWhatItCopied) {
    FakeCard card;
    MVFolderTransfer transfer;
    // The logger writes another session onto the card while the copy runs.
    transfer.setBeforeFileHook([&](std::size_t done) {
        if (done == 1) card.root.write("CARD/media/video/late.gld", "recorded meanwhile");
    });
    ASSERT_TRUE(transfer.start(Mode::Move, card.source, card.final, {}));
    transfer.wait();
    EXPECT_EQ(transfer.status(), Status::Succeeded);
    EXPECT_EQ(readAll(card.source / "video/late.gld"), "recorded meanwhile");
    EXPECT_FALSE(fs::exists(card.source / "a.gld"));
    EXPECT_FALSE(fs::exists(card.source / "video/a0001.avi"));
    EXPECT_FALSE(fs::exists(card.final / "video/late.gld"));
    EXPECT_EQ(readAll(card.final / "a.gld"), "[header]\r\nsession a\r\n");
}

TEST(FolderTransfer, AMoveFromAWriteProtectedCardKeepsTheCopyAndListsWhatStayed) {
    FakeCard card;
    testing_support::ReadOnlyFolder locked(card.root / "CARD");
    if (!locked.ok()) GTEST_SKIP() << locked.whyNot();
    MVFolderTransfer transfer;
    MVFolderTransfer::Result reported;
    ASSERT_TRUE(transfer.start(Mode::Move, card.source, card.final,
                               [&](const auto& result) { reported = result; }));
    transfer.wait();
    EXPECT_EQ(reported.status, Status::CopiedSourceKept) << locked.how();
    EXPECT_EQ(transfer.result().status, Status::CopiedSourceKept);
    expectSameTree(card.source, card.final);  // the copy is whole and kept
    std::vector<fs::path> left;
    for (const auto& item : reported.notRemoved) {
        left.push_back(item.file);
        EXPECT_FALSE(item.reason.empty()) << item.file;
        EXPECT_TRUE(fs::exists(item.file)) << item.file;
    }
    EXPECT_EQ(left, (std::vector<fs::path>{card.source / "a.gld", card.source / "b.gld",
                                           card.source / "video/a0001.avi"}));
    EXPECT_EQ(reported.error, reported.notRemoved.at(0).reason);
    EXPECT_EQ(readAll(card.source / "video/a0001.avi").size(), 2'500'000u);
}

TEST(FolderTransfer, RefusesWithoutTouchingAnything) {
    FakeCard card;
    card.root.write("Documents/Gridlark/2026-12-10 Larkfield Loop/Session/keep.gld", "mine");
    fs::create_directories(card.root / "CARD/empty/sub");
    MVFolderTransfer transfer;
    std::string refusal;
    EXPECT_FALSE(transfer.start(Mode::Move, card.source, card.final, {}, &refusal));
    EXPECT_NE(refusal.find("already exists"), std::string::npos);
    EXPECT_EQ(readAll(card.final / "keep.gld"), "mine");
    EXPECT_TRUE(fs::exists(card.source / "a.gld"));

    fs::path other = card.destination / "other";
    EXPECT_FALSE(transfer.start(Mode::Copy, card.root / "CARD/empty", other, {}, &refusal));
    EXPECT_NE(refusal.find("no file"), std::string::npos);
    EXPECT_FALSE(transfer.start(Mode::Copy, card.root / "nothing", other, {}, &refusal));
    EXPECT_FALSE(transfer.start(Mode::Copy, card.source, card.source / "in", {}, &refusal));
    EXPECT_FALSE(fs::exists(other));
    EXPECT_FALSE(fs::exists(card.source / "in"));
    EXPECT_EQ(transfer.status(), Status::Idle);
}

TEST(FolderTransfer, AbortMidCopyLeavesNothingAndTheSourceWhole) {
    for (Mode mode : {Mode::Copy, Mode::Move}) {
        FakeCard card;
        fs::create_directories(card.destination / "2026-12-10 Larkfield Loop/earlier");
        MVFolderTransfer transfer;
        transfer.setBeforeFileHook([&](std::size_t done) {
            if (done == 2) transfer.requestAbort();
        });
        bool finishedCalled = false;
        ASSERT_TRUE(
            transfer.start(mode, card.source, card.final, [&](auto&) { finishedCalled = true; }));
        transfer.abort();
        EXPECT_EQ(transfer.status(), Status::Aborted);
        EXPECT_FALSE(finishedCalled);
        EXPECT_FALSE(fs::exists(card.final));
        // A folder that was there before stays; the dated folder held it, so it stays too.
        EXPECT_TRUE(fs::exists(card.destination / "2026-12-10 Larkfield Loop/earlier"));
        EXPECT_EQ(readAll(card.source / "video/a0001.avi").size(), 2'500'000u);
        EXPECT_EQ(readAll(card.source / "a.gld"), "[header]\r\nsession a\r\n");
    }
}

TEST(FolderTransfer, FailedCopyReportsAndCleansUp) {
    FakeCard card;
    MVFolderTransfer transfer;
    // A file vanishing (or unreadable) under the copy.
    transfer.setBeforeFileHook([&](std::size_t done) {
        if (done == 1) fs::remove(card.source / "b.gld");
    });
    MVFolderTransfer::Result reported;
    ASSERT_TRUE(transfer.start(Mode::Move, card.source, card.final,
                               [&](const auto& result) { reported = result; }));
    transfer.wait();
    EXPECT_EQ(reported.status, Status::Failed);
    EXPECT_NE(reported.error.find("b.gld"), std::string::npos);
    // One file vanishing from a card that is still there is not the card going away.
    EXPECT_FALSE(reported.sourceGone);
    EXPECT_FALSE(fs::exists(card.destination / "2026-12-10 Larkfield Loop"));
    EXPECT_TRUE(fs::exists(card.source / "a.gld"));
    EXPECT_TRUE(fs::exists(card.source / "video/a0001.avi"));
}

// The disk calls of a run, written down in the order they came, each passed on to the system;
// `failFlushOf` makes the flush of that copy or folder fail with EIO instead.
struct RecordingDisk {
    std::mutex mutex;
    std::vector<std::string> calls;
    fs::path failFlushOf;

    MVFolderTransfer::DiskCalls diskCalls() {
        const auto system = MVFolderTransfer::systemDiskCalls();
        MVFolderTransfer::DiskCalls calls;
        calls.flushFile = [this, system](int fd, const fs::path& copy) {
            return note("flush " + copy.string(), copy, [&] { return system.flushFile(fd, copy); });
        };
        calls.flushFolder = [this, system](const fs::path& folder) {
            return note("flush " + folder.string(), folder,
                        [&] { return system.flushFolder(folder); });
        };
        calls.removeFile = [this, system](const fs::path& file) {
            return note("remove " + file.string(), {}, [&] { return system.removeFile(file); });
        };
        return calls;
    }
    template <class Call>
    int note(const std::string& what, const fs::path& path, Call call) {
        std::lock_guard lock(mutex);
        calls.push_back(what);
        return !path.empty() && path == failFlushOf ? EIO : call();
    }
    std::ptrdiff_t position(const std::string& call) const {
        const auto it = std::find(calls.begin(), calls.end(), call);
        return it == calls.end() ? -1 : it - calls.begin();
    }
};

// Runs the card's transfer to its end and returns what it reported.
MVFolderTransfer::Result runToEnd(MVFolderTransfer& transfer, Mode mode, const FakeCard& card) {
    MVFolderTransfer::Result reported;
    EXPECT_TRUE(transfer.start(mode, card.source, card.final,
                               [&](const auto& result) { reported = result; }));
    transfer.wait();
    return reported;
}

TEST(FolderTransfer, AMoveRemovesEachSourceOnlyAfterItsCopyAndItsFoldersAreOnDisk) {
    FakeCard card;
    RecordingDisk disk;
    MVFolderTransfer transfer;
    transfer.setDiskCalls(disk.diskCalls());
    const auto reported = runToEnd(transfer, Mode::Move, card);
    ASSERT_EQ(reported.status, Status::Succeeded) << reported.error;
    const std::vector<fs::path> foldersGained = {card.destination,  // the dated folder is new in it
                                                 card.destination / "2026-12-10 Larkfield Loop",
                                                 card.final, card.final / "video"};
    for (const char* file : {"a.gld", "b.gld", "video/a0001.avi"}) {
        SCOPED_TRACE(file);
        const auto removed = disk.position("remove " + (card.source / file).string());
        ASSERT_GE(removed, 0);
        const auto copied = disk.position("flush " + (card.final / file).string());
        ASSERT_GE(copied, 0);
        EXPECT_LT(copied, removed);
        for (const fs::path& folder : foldersGained) {
            const auto flushed = disk.position("flush " + folder.string());
            ASSERT_GE(flushed, 0) << folder;
            EXPECT_LT(flushed, removed) << folder;
        }
    }
    EXPECT_FALSE(fs::exists(card.source));
    EXPECT_EQ(readAll(card.final / "video/a0001.avi").size(), 2'500'000u);
}

TEST(FolderTransfer, AMoveWhoseFlushFailsKeepsTheSourceAndSaysSo) {
    for (const char* failing : {"copy", "folder"}) {
        SCOPED_TRACE(failing);
        FakeCard card;
        RecordingDisk disk;
        disk.failFlushOf = std::string(failing) == "copy" ? card.final / "b.gld" : card.final;
        MVFolderTransfer transfer;
        transfer.setDiskCalls(disk.diskCalls());
        const auto reported = runToEnd(transfer, Mode::Move, card);
        EXPECT_EQ(reported.status, Status::Failed);
        EXPECT_TRUE(reported.notFlushed);
        EXPECT_FALSE(reported.sourceGone);
        EXPECT_EQ(reported.systemError, EIO);
        EXPECT_EQ(reported.error,
                  "Cannot flush " + disk.failFlushOf.string() + " to disk: " + std::strerror(EIO));
        for (const std::string& call : disk.calls) EXPECT_NE(call.rfind("remove ", 0), 0u) << call;
        EXPECT_EQ(readAll(card.source / "b.gld"), std::string(3000, 'b'));
        EXPECT_EQ(readAll(card.source / "video/a0001.avi").size(), 2'500'000u);
        EXPECT_FALSE(fs::exists(card.destination / "2026-12-10 Larkfield Loop"));
    }
}

TEST(FolderTransfer, ACardPulledOutMidCopyIsToldAsSuch) {
    for (Mode mode : {Mode::Copy, Mode::Move}) {
        FakeCard card;
        MVFolderTransfer transfer;
        // The card goes away with everything on it after the first file.
        transfer.setBeforeFileHook([&](std::size_t done) {
            if (done == 1) fs::remove_all(card.root / "CARD");
        });
        const auto reported = runToEnd(transfer, mode, card);
        EXPECT_EQ(reported.status, Status::Failed);
        EXPECT_TRUE(reported.sourceGone);
        EXPECT_FALSE(reported.notFlushed);
        EXPECT_EQ(reported.systemError, ENOENT);
        EXPECT_FALSE(fs::exists(card.destination / "2026-12-10 Larkfield Loop"));
    }
}

}  // namespace
