#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTEncrypter.h"

#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeychainUtil.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr size_t kKeySize = 32;
constexpr size_t kIvSize = 16;
constexpr size_t kMacSize = 32;
constexpr size_t kBlock = 16;
const std::string kMetadataKey = "EncryptionKeyMetadata";
const std::string kMacAlgorithm = "AES/HmacSHA256";

std::mutex& processLock() {
    static auto* m = new std::mutex;
    return *m;
}

// Holds an exclusive lock on the secret store's lock file for its life.
class FileLock {
  public:
    explicit FileLock(const std::filesystem::path& folder) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        fd_ = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

ZVTBytes bytesOf(const std::string& text) {
    return ZVTBytes(text.begin(), text.end());
}

}  // namespace

ZVTEncrypter::ZVTEncrypter(ZVTZevOzozidUserDefaults& settings)
    : ZVTEncrypter(settings, ZVTKeychainUtil::defaultServiceName()) {}

ZVTEncrypter::ZVTEncrypter(ZVTZevOzozidUserDefaults& settings, std::string keychainService)
    : settings_(settings), service_(std::move(keychainService)) {}

std::string ZVTEncrypter::getMetadataString(const std::string& keyTag,
                                            const std::string& algorithm) {
    return keyTag + "/" + algorithm + "/CBC/PKCS7/32";
}

std::string ZVTEncrypter::getCurrentKeyTag() {
    std::lock_guard lock(processLock());
    auto record = settings_.stringForKey(kMetadataKey);
    if (!record) {
        rotateToNewKeyTag(kZVTEncryptionKeyTagAlternate);
        return kZVTEncryptionKeyTagAlternate;
    }
    const size_t slash = record->find('/');
    std::string tag = record->substr(0, slash);
    auto expiry = slash == std::string::npos
                      ? std::nullopt
                      : ZVTUtility::dateFromISO8601(record->substr(slash + 1));
    // A tag this SDK does not know counts as expired: data is only ever written under a tag that
    // decryption accepts.
    const bool known = tag == kZVTEncryptionKeyTag || tag == kZVTEncryptionKeyTagAlternate;
    if (!known || !expiry || ZVTUtility::currentDate() > *expiry) {
        tag = tag == kZVTEncryptionKeyTag ? kZVTEncryptionKeyTagAlternate : kZVTEncryptionKeyTag;
        rotateToNewKeyTag(tag);
    }
    return tag;
}

void ZVTEncrypter::rotateToNewKeyTag(const std::string& keyTag) {
    const ZVTDate expiry = ZVTUtility::currentDate() + std::chrono::seconds(31536000);
    settings_.setObject(
        platform::UserDefaults::Value(keyTag + "/" + ZVTUtility::dateToISO8601(expiry)),
        kMetadataKey);
}

std::optional<ZVTBytes> ZVTEncrypter::readStoredKey(const std::string& keyTag, bool& missing,
                                                    bool report) {
    std::string value;
    const int status = ZVTKeychainUtil::secItemCopyMatchingQuery(service_, keyTag, value);
    missing = status == ZVTKeychainUtil::kStatusItemNotFound;
    if (missing) return std::nullopt;
    std::string raw;
    if (status != 0 || !platform::crypto::base64Decode(value, raw) || raw.size() != kKeySize) {
        // Whatever was kept there can never decrypt anything: a fresh key takes its place.
        if (report) {
            ZVTLogError(kZVTLogTag, "The encryption key '", keyTag, "' cannot be read (status ",
                        status, "); a new one is made.");
        }
        missing = true;
        return std::nullopt;
    }
    return bytesOf(raw);
}

// Keys that could not be kept in the secret store, by service and tag: every encrypter of the
// process uses the same one for the rest of the run.
std::map<std::pair<std::string, std::string>, ZVTBytes>& ZVTEncrypter::unsavedKeys() {
    static auto* keys = new std::map<std::pair<std::string, std::string>, ZVTBytes>;
    return *keys;
}

std::optional<ZVTBytes> ZVTEncrypter::makeKeyLocked(const std::string& keyTag) {
    std::lock_guard lock(processLock());
    auto unsaved = unsavedKeys().find({service_, keyTag});
    if (unsaved != unsavedKeys().end()) return unsaved->second;
    FileLock fileLock(ZVTKeychainUtil::serviceFolder(service_));
    bool missing = false;
    auto key = readStoredKey(keyTag, missing, /*report=*/true);
    if (key || !missing) return key;
    ZVTBytes fresh(kKeySize);
    if (RAND_bytes(fresh.data(), static_cast<int>(fresh.size())) != 1) {
        ZVTLogError(kZVTLogTag, "Error generating encryption key. Error code: ", -1);
        return std::nullopt;
    }
    const std::string text = platform::crypto::base64Encode(
        std::string_view(reinterpret_cast<const char*>(fresh.data()), fresh.size()));
    if (!ZVTKeychainUtil::storeString(text, keyTag, service_)) {
        ZVTLogWarning(kZVTLogTag, "The encryption key '", keyTag,
                      "' cannot be stored; it is used for this run only, and tokens encrypted "
                      "during this run will not survive a restart.");
        unsavedKeys()[{service_, keyTag}] = fresh;
    }
    return fresh;
}

std::optional<ZVTBytes> ZVTEncrypter::getKeyWithKeyTag(const std::string& keyTag) {
    auto& cache = keyTag == kZVTEncryptionKeyTag ? originalKeyData_ : alternateKeyData_;
    {
        std::lock_guard lock(cacheMutex_);
        if (cache) return cache;
    }
    bool missing = false;
    auto key = readStoredKey(keyTag, missing);
    if (!key && missing) key = makeKeyLocked(keyTag);
    if (key) {
        std::lock_guard lock(cacheMutex_);
        cache = key;
    }
    return key;
}

std::optional<ZVTBytes> ZVTEncrypter::getSubkey(const ZVTBytes& key, long outputSize) {
    if (outputSize < 1) return std::nullopt;
    ZVTBytes out, block;
    for (uint8_t counter = 0; out.size() < static_cast<size_t>(outputSize); ++counter) {
        ZVTBytes input = block;
        input.push_back(counter);
        block = getMacBytes(key, input);
        out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(static_cast<size_t>(outputSize));
    return out;
}

ZVTBytes ZVTEncrypter::getMacBytes(const ZVTBytes& key, const ZVTBytes& data) {
    ZVTBytes mac(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), data.data(), data.size(),
         mac.data(), &length);
    mac.resize(length);
    return mac;
}

std::optional<ZVTBytes> ZVTEncrypter::performCryptoOperation(int operation, const ZVTBytes& input,
                                                             const std::optional<ZVTBytes>& iv,
                                                             const ZVTBytes& key) {
    ZVTBytes zeroIv(kIvSize, 0);
    const ZVTBytes& useIv = iv ? *iv : zeroIv;
    if (key.size() != kKeySize || useIv.size() != kIvSize) return std::nullopt;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ZVTBytes out(input.size() + kBlock + 1);
    int written = 0, tail = 0;
    bool ok = ctx &&
              EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), useIv.data(),
                                operation == 0 ? 1 : 0) == 1 &&
              EVP_CipherUpdate(ctx, out.data(), &written, input.data(),
                               static_cast<int>(input.size())) == 1 &&
              EVP_CipherFinal_ex(ctx, out.data() + written, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) {
        ZVTLogError(kZVTLogTag, "Error performing encryption or decryption.");
        return std::nullopt;
    }
    out.resize(static_cast<size_t>(written + tail));
    return out;
}

std::optional<ZVTBytes> ZVTEncrypter::encryptData(const ZVTBytes& plain) {
    const std::string tag = getCurrentKeyTag();
    auto key = getKeyWithKeyTag(tag);
    if (!key) return std::nullopt;
    auto subkey = *getSubkey(*key, kKeySize);
    const ZVTBytes macKey(subkey.begin(), subkey.begin() + 16);
    ZVTBytes iv(kIvSize);
    if (RAND_bytes(iv.data(), static_cast<int>(iv.size())) != 1) {
        ZVTLogError(kZVTLogTag, "Error generating initialization vector. Error code: ", -1);
        return std::nullopt;
    }
    auto cipher = performCryptoOperation(0, plain, iv, subkey);
    if (!cipher) return std::nullopt;
    ZVTBytes out = bytesOf(getMetadataString(tag, kMacAlgorithm) + ":");
    ZVTBytes mac = getMacBytes(macKey, *cipher);
    out.insert(out.end(), iv.begin(), iv.end());
    out.insert(out.end(), mac.begin(), mac.end());
    out.insert(out.end(), cipher->begin(), cipher->end());
    return out;
}

std::optional<ZVTBytes> ZVTEncrypter::decryptData(const ZVTBytes& data) {
    auto colon = std::find(data.begin(), data.end(), static_cast<uint8_t>(':'));
    if (colon != data.end()) return decryptHeaded(data, static_cast<size_t>(colon - data.begin()));
    // Bare legacy data: ciphertext only, zero IV, the original key.
    if (data.empty() || data.size() % kBlock != 0) return std::nullopt;
    auto key = getKeyWithKeyTag(kZVTEncryptionKeyTag);
    if (!key) return std::nullopt;
    return performCryptoOperation(1, data, std::nullopt, *key);
}

std::optional<ZVTBytes> ZVTEncrypter::decryptHeaded(const ZVTBytes& data, size_t colon) {
    const std::string header(data.begin(), data.begin() + static_cast<long>(colon));
    const std::string tag = header.substr(0, header.find('/'));
    if (tag != kZVTEncryptionKeyTag && tag != kZVTEncryptionKeyTagAlternate) return std::nullopt;
    // Only the two headers this SDK writes are read; anything else is damaged data.
    const bool withMac = header == getMetadataString(tag, kMacAlgorithm);
    if (!withMac && header != getMetadataString(tag)) return std::nullopt;
    const size_t body = colon + 1;
    const size_t prefix = kIvSize + (withMac ? kMacSize : 0);
    if (data.size() < body + prefix + kBlock || (data.size() - body - prefix) % kBlock != 0) {
        return std::nullopt;
    }
    auto key = getKeyWithKeyTag(tag);
    if (!key) return std::nullopt;
    const ZVTBytes iv(data.begin() + static_cast<long>(body),
                      data.begin() + static_cast<long>(body + kIvSize));
    const ZVTBytes cipher(data.begin() + static_cast<long>(body + prefix), data.end());
    if (!withMac) return performCryptoOperation(1, cipher, iv, *key);
    auto subkey = *getSubkey(*key, kKeySize);
    const ZVTBytes macKey(subkey.begin(), subkey.begin() + 16);
    const ZVTBytes mac = getMacBytes(macKey, cipher);
    if (CRYPTO_memcmp(mac.data(), data.data() + body + kIvSize, kMacSize) != 0) {
        ZVTLogError(kZVTLogTag, "Could not authenticate MAC value.");
        return std::nullopt;
    }
    return performCryptoOperation(1, cipher, iv, subkey);
}

std::optional<std::string> ZVTEncrypter::encryptString(const std::string& text) {
    auto data = encryptData(bytesOf(text));
    if (!data) return std::nullopt;
    return platform::crypto::base64Encode(
        std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
}

std::optional<std::string> ZVTEncrypter::decryptString(const std::string& base64) {
    std::string raw;
    if (!platform::crypto::base64Decode(base64, raw)) {
        ZVTLogWarning(kZVTLogTag, "Conversion of encrypted string to NSData failed.");
        return std::nullopt;
    }
    auto plain = decryptData(bytesOf(raw));
    if (!plain) {
        ZVTLogWarning(kZVTLogTag, "Converting decrypted NSData to NSString failed.");
        return std::nullopt;
    }
    return std::string(plain->begin(), plain->end());
}
