#include "tests/support/TempDir.h"
#include "tests/transfer_core/ZipFixture.h"

#include "transfer/core/MVZipArchive.h"

#include <gtest/gtest.h>

namespace {

using testing_support::TempDir;
using testing_support::writeZip;
using testing_support::ZipEntry;

std::size_t countBelow(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        ++n;
    }
    return n;
}

TEST(ZipArchive, EntryNames) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"a.xml", true},
        {"Start Finish DataBase/x.xml", true},
        {"dir/", true},
        {"a/b/c.png", true},
        {"", false},
        {"/etc/passwd", false},
        {"../up.txt", false},
        {"a/../../up.txt", false},
        {"a/./b", false},
        {"a//b", false},
        {"C:/windows", false},
        {"a\\b", false},
        {std::string("a\0b", 3), false},
        {std::string(1025, 'x'), false},
    };
    for (const auto& [name, safe] : cases) {
        EXPECT_EQ(MVZipArchive::isSafeEntryName(name), safe) << name;
    }
}

TEST(ZipArchive, UnpacksFilesAndFoldersIntoTheStagingFolder) {
    TempDir dir;
    ASSERT_TRUE(writeZip(dir / "good.zip",
                         {{"Maps/", ""}, {"Maps/a.png", "png bytes"}, {"Deep/er/b.txt", "text"}}));
    std::filesystem::create_directories(dir / "staging");
    EXPECT_EQ(MVZipArchive::extractFile(dir / "good.zip", dir / "staging"), "");
    EXPECT_EQ(testing_support::readAll(dir / "staging/Maps/a.png"), "png bytes");
    EXPECT_EQ(testing_support::readAll(dir / "staging/Deep/er/b.txt"), "text");
}

TEST(ZipArchive, TheFileTypeBitsAloneDecideTheKindOfAnEntry) {
    TempDir dir;
    // Permission bits without a file type, as some writers store them: plain files and folders.
    ASSERT_TRUE(writeZip(dir / "plain.zip", {{"Maps/", "", false, 0755},
                                             {"Maps/a.png", "png bytes", false, 0644},
                                             {"notes.txt", "text", false, 0600},
                                             {"typed.txt", "typed", false, S_IFREG | 0644}}));
    std::filesystem::create_directories(dir / "staging");
    EXPECT_EQ(MVZipArchive::extractFile(dir / "plain.zip", dir / "staging"), "");
    EXPECT_EQ(testing_support::readAll(dir / "staging/Maps/a.png"), "png bytes");
    EXPECT_EQ(testing_support::readAll(dir / "staging/notes.txt"), "text");
    EXPECT_EQ(testing_support::readAll(dir / "staging/typed.txt"), "typed");

    // Every other type stays refused, whatever its permission bits, and nothing is written.
    const std::vector<std::pair<const char*, std::uint32_t>> special = {{"device", S_IFCHR | 0644},
                                                                        {"disk", S_IFBLK | 0600},
                                                                        {"pipe", S_IFIFO | 0644},
                                                                        {"socket", S_IFSOCK | 0755},
                                                                        {"link", S_IFLNK | 0644}};
    for (const auto& [name, mode] : special) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(writeZip(dir / "special.zip",
                             {{"first.txt", "x", false, 0644}, {name, "/dev/sda", false, mode}}));
        std::filesystem::remove_all(dir / "s");
        std::filesystem::create_directories(dir / "s");
        const std::string failure = MVZipArchive::extractFile(dir / "special.zip", dir / "s");
        EXPECT_NE(failure.find(name), std::string::npos) << failure;
        EXPECT_EQ(countBelow(dir / "s"), 0u);
    }
}

TEST(ZipArchive, HostileAndBrokenArchivesAreRefusedAndNothingLandsOutside) {
    TempDir dir;
    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"absolute name", {{"ok.txt", "x"}, {"/tmp/evil.txt", "x"}}, "unsafe entry name"},
        {"parent folder", {{"../evil.txt", "x"}}, "unsafe entry name"},
        {"symbolic link", {{"link", "/etc/passwd", true}}, "symbolic link"},
        {"a file where a folder must go", {{"a", "1"}, {"a/b.txt", "2"}}, "clashes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto zip = dir / "hostile.zip";
        ASSERT_TRUE(writeZip(zip, c.entries));
        std::filesystem::remove_all(dir / "staging");
        std::filesystem::create_directories(dir / "staging");
        const std::string failure = MVZipArchive::extractFile(zip, dir / "staging");
        EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/evil.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "evil.txt"));
}

TEST(ZipArchive, ACorruptedOrTruncatedArchiveIsRefused) {
    TempDir dir;
    const std::string payload(4000, 'p');
    ASSERT_TRUE(writeZip(dir / "good.zip", {{"data.bin", payload}}));
    std::string bytes = testing_support::readAll(dir / "good.zip");

    std::string flipped = bytes;
    const std::size_t at = flipped.find(payload.substr(0, 64));
    ASSERT_NE(at, std::string::npos);
    flipped[at + 100] = 'q';  // stored data no longer matches its CRC-32
    std::filesystem::create_directories(dir / "s1");
    EXPECT_NE(MVZipArchive::extractBytes(flipped, dir / "s1"), "");

    std::filesystem::create_directories(dir / "s2");
    EXPECT_NE(MVZipArchive::extractBytes(bytes.substr(0, bytes.size() / 2), dir / "s2"), "");
    EXPECT_EQ(countBelow(dir / "s2"), 0u);

    std::filesystem::create_directories(dir / "s3");
    EXPECT_NE(MVZipArchive::extractBytes("not a zip at all", dir / "s3"), "");
}

TEST(ZipArchive, SizeAndCountCapsAreCheckedBeforeWriting) {
    TempDir dir;
    ASSERT_TRUE(writeZip(dir / "big.zip",
                         {{"a.bin", std::string(600, 'a')}, {"b.bin", std::string(600, 'b')}}));
    std::filesystem::create_directories(dir / "staging");
    MVZipArchive::Limits perEntry;
    perEntry.maxEntryBytes = 500;
    EXPECT_NE(
        MVZipArchive::extractFile(dir / "big.zip", dir / "staging", perEntry).find("too large"),
        std::string::npos);
    MVZipArchive::Limits total;
    total.maxTotalBytes = 1000;
    EXPECT_NE(MVZipArchive::extractFile(dir / "big.zip", dir / "staging", total).find("too much"),
              std::string::npos);
    MVZipArchive::Limits count;
    count.maxEntries = 1;
    EXPECT_NE(MVZipArchive::extractFile(dir / "big.zip", dir / "staging", count).find("too many"),
              std::string::npos);
    EXPECT_EQ(countBelow(dir / "staging"), 0u);
}

}  // namespace
