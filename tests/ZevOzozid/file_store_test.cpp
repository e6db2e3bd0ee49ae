#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include "platform/Clock.h"
#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeychainUtil.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using zvt_test::LogCapture;

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(ZVTFileStore, FilesBelowTheSdkFolder) {
    zvt_test::DataHomeFixture home;
    const fs::path root = ZVTUtility::zevOzozidDirectoryURL();
    EXPECT_EQ(root, home.path() / "data" / "dev.gridlark.test" / "dev.gridlark.zevozozid");
    EXPECT_TRUE(fs::is_directory(root));

    auto made = ZVTUtility::createFileAtPathComponent("a/b/file", ZVTBytes{'x'}, true, false);
    ASSERT_TRUE(made);
    EXPECT_TRUE(fs::is_directory(root / "a" / "b"));
    EXPECT_FALSE(ZVTUtility::createFileAtPathComponent("a/b/file", ZVTBytes{'y'}, false, false) ==
                 std::nullopt);
    EXPECT_EQ(ZVTUtility::loadDataForPathComponent("a/b/file"), ZVTBytes{'x'});
    ZVTUtility::createFileAtPathComponent("a/b/file", ZVTBytes{'y'}, false, true);
    EXPECT_EQ(ZVTUtility::loadDataForPathComponent("a/b/file"), ZVTBytes{'y'});
    ZVTUtility::createFileAtPathComponent("empty", std::nullopt, false, false);
    EXPECT_EQ(ZVTUtility::loadDataForPathComponent("empty"), ZVTBytes{});
    EXPECT_EQ(ZVTUtility::contentsOfDirectory("a/b")->size(), 1u);

    LogCapture log;
    EXPECT_FALSE(ZVTUtility::contentsOfDirectory(""));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(ZVTUtility::contentsOfDirectory("missing"));
    EXPECT_EQ(log.atLevel(ZVTLogLevelDebug).size(), 1u);
    log.clear();
    EXPECT_FALSE(ZVTUtility::deleteItemForPathComponent("missing"));
    EXPECT_EQ(log.atLevel(ZVTLogLevelDebug).size(), 1u);
    EXPECT_TRUE(ZVTUtility::deleteItemForPathComponent("a"));
    EXPECT_FALSE(fs::exists(root / "a"));
}

TEST(ZVTFileStore, ComponentsThatLeaveTheFolderAreRefused) {
    zvt_test::DataHomeFixture home;
    home.path();
    for (const char* bad : {"../escape", "a/../../escape", "/etc/passwd", ".."}) {
        LogCapture log;
        EXPECT_FALSE(ZVTUtility::createFileAtPathComponent(bad, ZVTBytes{'x'}, false, true)) << bad;
        EXPECT_FALSE(ZVTUtility::deleteItemForPathComponent(bad)) << bad;
        EXPECT_FALSE(ZVTUtility::fullURLForPathComponent(bad)) << bad;
        EXPECT_EQ(log.atLevel(ZVTLogLevelError).size(), 3u) << bad;
    }
    EXPECT_FALSE(fs::exists(ZVTUtility::zevOzozidDirectoryURL().parent_path() / "escape"));
}

TEST(ZVTKeychainUtil, ItemsAreFilesOfTheirOwn) {
    zvt_test::DataHomeFixture home;
    const std::string service = "dev.gridlark.test.ZevOzozid";
    EXPECT_EQ(ZVTKeychainUtil::defaultServiceName(), service);
    EXPECT_TRUE(ZVTKeychainUtil::storeString("one", "k"));
    EXPECT_TRUE(ZVTKeychainUtil::storeString("two", "k"));
    EXPECT_EQ(ZVTKeychainUtil::stringForKey("k"), "two");
    EXPECT_TRUE(ZVTKeychainUtil::storeString("", "empty"));
    EXPECT_EQ(ZVTKeychainUtil::stringForKey("empty"), "");
    int status = 0;
    EXPECT_EQ(ZVTKeychainUtil::stringForKey("missing", &status), std::nullopt);
    EXPECT_EQ(status, -25300);
    EXPECT_EQ(ZVTKeychainUtil::deleteStringForKey("missing"), std::nullopt);

    // A key never becomes a path.
    EXPECT_TRUE(ZVTKeychainUtil::storeString("x", "../x"));
    EXPECT_EQ(ZVTKeychainUtil::stringForKey("../x"), "x");
    const fs::path folder = home.path() / "data" / service;
    EXPECT_FALSE(fs::exists(folder.parent_path() / "x"));
    EXPECT_EQ(modeOf(folder), 0700u);
    for (const auto& e : fs::directory_iterator(folder)) EXPECT_EQ(modeOf(e.path()), 0600u);

    EXPECT_TRUE(ZVTKeychainUtil::storeString("other", "k", "other.service"));
    EXPECT_EQ(ZVTKeychainUtil::deleteStringForKey("k"), "two");
    EXPECT_TRUE(ZVTKeychainUtil::clear());
    EXPECT_EQ(ZVTKeychainUtil::stringForKey("empty"), std::nullopt);
    EXPECT_EQ(ZVTKeychainUtil::stringForKey("k", "other.service", nullptr), "other");
}

class EncrypterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        clock.setWallTime(platform::WallTime(std::chrono::seconds(1'800'000'000)));
    }
    ZVTBytes masterKey(const std::string& tag) {
        std::string raw;
        platform::crypto::base64Decode(*ZVTKeychainUtil::stringForKey(tag), raw);
        return ZVTBytes(raw.begin(), raw.end());
    }
    zvt_test::DataHomeFixture home;
    platform::FakeClock clock;
    zvt_test::SettingsFixture settings;
};

TEST_F(EncrypterTest, FreshDeviceUsesTheAlternateKeyAndRotatesYearly) {
    ZVTEncrypter encrypter(settings.settings());
    auto a = encrypter.encryptString("token-1");
    auto b = encrypter.encryptString("token-1");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(encrypter.decryptString(*a), "token-1");
    EXPECT_EQ(encrypter.decryptString(*b), "token-1");
    auto record = settings.settings().stringForKey("EncryptionKeyMetadata");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->rfind("kZVEncryptionKeyTagAlternate/", 0), 0u);
    EXPECT_FALSE(ZVTKeychainUtil::stringForKey("kZVEncryptionKeyTag"));

    clock.advance(std::chrono::hours(24 * 366));
    auto c = encrypter.encryptString("token-2");
    EXPECT_EQ(
        settings.settings().stringForKey("EncryptionKeyMetadata")->rfind("kZVEncryptionKeyTag/", 0),
        0u);
    ZVTEncrypter other(settings.settings());  // a new instance shares the keys
    EXPECT_EQ(other.decryptString(*a), "token-1");
    EXPECT_EQ(other.decryptString(*c), "token-2");
}

TEST_F(EncrypterTest, OlderFormsDecryptAndTamperingGivesNothing) {
    ZVTEncrypter encrypter(settings.settings());
    const ZVTBytes plain{'s', 'e', 'c', 'r', 'e', 't'};
    auto current = *encrypter.encryptData(plain);
    // Subkey = HMAC(K, 0x00).
    const ZVTBytes key = *encrypter.getKeyWithKeyTag("kZVEncryptionKeyTagAlternate");
    EXPECT_EQ(ZVTEncrypter::getSubkey(key, 32), ZVTEncrypter::getMacBytes(key, ZVTBytes{0x00}));
    EXPECT_EQ(ZVTEncrypter::getSubkey(key, 0), std::nullopt);

    // Without MAC: header, IV, AES under the master key itself (made with EVP here).
    const ZVTBytes iv(16, 7);
    auto legacyCipher = ZVTEncrypter::performCryptoOperation(0, plain, iv, key);
    std::string header = ZVTEncrypter::getMetadataString("kZVEncryptionKeyTagAlternate") + ":";
    ZVTBytes noMac(header.begin(), header.end());
    noMac.insert(noMac.end(), iv.begin(), iv.end());
    noMac.insert(noMac.end(), legacyCipher->begin(), legacyCipher->end());
    EXPECT_EQ(encrypter.decryptData(noMac), plain);

    // Bare: ciphertext only, zero IV, the original key (made on first use).
    const ZVTBytes original = *encrypter.getKeyWithKeyTag("kZVEncryptionKeyTag");
    ZVTBytes bare(64);
    int n = 0, tail = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const ZVTBytes zero(16, 0);
    const ZVTBytes longer{'n', 'o', ' ', 'c', 'o', 'l', 'o', 'n'};
    EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, original.data(), zero.data());
    EVP_EncryptUpdate(ctx, bare.data(), &n, longer.data(), static_cast<int>(longer.size()));
    EVP_EncryptFinal_ex(ctx, bare.data() + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    bare.resize(static_cast<size_t>(n + tail));
    if (std::find(bare.begin(), bare.end(), ':') == bare.end()) {
        EXPECT_EQ(encrypter.decryptData(bare), longer);
    }

    LogCapture log;
    header =
        ZVTEncrypter::getMetadataString("kZVEncryptionKeyTagAlternate", "AES/HmacSHA256") + ":";
    for (size_t i = 0; i < current.size(); i += 7) {
        ZVTBytes flipped = current;
        flipped[i] ^= 0x01;
        EXPECT_EQ(encrypter.decryptData(flipped), std::nullopt) << i;
    }
    EXPECT_GT(log.count(ZVTLogLevelError, "Could not authenticate MAC value."), 0u);
    const size_t body = current.size() - header.size();
    for (size_t cut = 0; cut < 48 + 16 && cut < body; ++cut) {
        ZVTBytes shortened(current.begin(),
                           current.begin() + static_cast<long>(header.size() + cut));
        EXPECT_EQ(encrypter.decryptData(shortened), std::nullopt) << cut;
    }
    EXPECT_EQ(encrypter.decryptString("not base64!"), std::nullopt);
}

// The secret-store file of a key tag.
fs::path keyItem(const std::string& tag) {
    return ZVTKeychainUtil::serviceFolder(ZVTKeychainUtil::defaultServiceName()) /
           platform::crypto::toHex(reinterpret_cast<const uint8_t*>(tag.data()), tag.size());
}

TEST_F(EncrypterTest, AnUnreadableStoredKeyIsReplacedByAFreshOne) {
    const std::string tag = "kZVEncryptionKeyTagAlternate";
    std::vector<std::function<void()>> damages{
        [&] { ZVTKeychainUtil::storeString("short", tag); },
        [&] { ZVTKeychainUtil::storeString("not base64 at all!", tag); },
        // Stray items in the key's place: none may block the logs queue or fill the memory.
        [&] { ASSERT_EQ(::mkfifo(keyItem(tag).c_str(), 0600), 0); },
        [&] { fs::create_symlink("/dev/zero", keyItem(tag)); },
        [&] {
            ZVTKeychainUtil::storeString("x", tag);
            fs::resize_file(keyItem(tag), 1u << 30);  // sparse: 1 GiB read as a key
        },
    };
    if (::geteuid() != 0) {  // the superuser reads every file
        damages.push_back([&] {
            ZVTKeychainUtil::storeString(std::string(44, 'A'), tag);
            ::chmod(keyItem(tag).c_str(), 0);
        });
    }
    ZVTKeychainUtil::storeString("made", "folder");  // the service's folder exists
    for (size_t i = 0; i < damages.size(); ++i) {
        ZVTKeychainUtil::clear();
        damages[i]();
        ZVTEncrypter encrypter(settings.settings());
        LogCapture log;
        auto sealed = encrypter.encryptString("token");
        ASSERT_TRUE(sealed) << i;
        EXPECT_EQ(encrypter.decryptString(*sealed), "token") << i;
        EXPECT_EQ(masterKey(tag).size(), 32u) << i;
        EXPECT_EQ(log.count(ZVTLogLevelWarning, "cannot be stored"), 0u) << i;
        ZVTEncrypter later(settings.settings());  // a later run reads the stored key
        EXPECT_EQ(later.decryptString(*sealed), "token") << i;
    }
}

TEST_F(EncrypterTest, AKeyThatCannotBeStoredServesTheRunFromMemory) {
    const std::string tag = "kZVEncryptionKeyTagAlternate";
    fs::create_directories(keyItem(tag) / "inside");
    ZVTEncrypter encrypter(settings.settings());
    LogCapture log;
    auto sealed = encrypter.encryptString("token");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(encrypter.decryptString(*sealed), "token");
    ZVTEncrypter other(settings.settings());  // another user of the same run
    EXPECT_EQ(other.decryptString(*sealed), "token");
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "will not survive a restart"), 1u);
    EXPECT_TRUE(fs::is_directory(keyItem(tag)));
}

TEST_F(EncrypterTest, AnUnknownTagInTheCurrentKeyRecordCountsAsExpired) {
    const ZVTDate future = ZVTUtility::currentDate() + std::chrono::hours(24 * 100);
    settings.settings().setObject(
        platform::UserDefaults::Value("kSomeOtherTag/" + ZVTUtility::dateToISO8601(future)),
        "EncryptionKeyMetadata");
    ZVTEncrypter encrypter(settings.settings());
    auto sealed = encrypter.encryptString("token");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(encrypter.decryptString(*sealed), "token");
    EXPECT_EQ(
        settings.settings().stringForKey("EncryptionKeyMetadata")->rfind("kZVEncryptionKeyTag/", 0),
        0u);
}

}  // namespace
