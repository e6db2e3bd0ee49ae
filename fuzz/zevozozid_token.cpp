// Fuzz target: arbitrary bytes through the stored-token reader under fixed keys. Reading gives
// nothing or bytes, never a crash; any plaintext encrypts and decrypts back unchanged.
#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeychainUtil.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

struct Fixture {
    std::filesystem::path root;
    std::unique_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<ZVTZevOzozidUserDefaults> settings;
    std::unique_ptr<ZVTEncrypter> encrypter;

    Fixture() {
        ZVTLogger::setLogHandler({});
        std::string tmpl = (std::filesystem::temp_directory_path() / "zvt-fuzz-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        root = tmpl;
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ZVTApplicationInfo::setCurrent({"dev.gridlark.fuzz", "1", "1", "en", 0, 0});
        const std::string service = "dev.gridlark.fuzz.ZevOzozid";
        // Fixed master keys, so every run reads the same way.
        ZVTKeychainUtil::storeString(platform::crypto::base64Encode(std::string(32, '\x11')),
                                     "kZVEncryptionKeyTag", service);
        ZVTKeychainUtil::storeString(platform::crypto::base64Encode(std::string(32, '\x22')),
                                     "kZVEncryptionKeyTagAlternate", service);
        defaults = std::make_unique<platform::UserDefaults>(root / "defaults.json");
        defaults->setString("ZVZevOzozidEncryptionKeyMetadata",
                            "kZVEncryptionKeyTagAlternate/2200-01-01T00:00:00.000Z");
        settings = std::make_unique<ZVTZevOzozidUserDefaults>(*defaults);
        encrypter = std::make_unique<ZVTEncrypter>(*settings, service);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    const ZVTBytes bytes(data, data + size);
    (void)fixture.encrypter->decryptData(bytes);
    (void)fixture.encrypter->decryptString(std::string(bytes.begin(), bytes.end()));
    auto sealed = fixture.encrypter->encryptData(bytes);
    if (!sealed || fixture.encrypter->decryptData(*sealed) != bytes) std::abort();
    return 0;
}
