#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

inline const std::string kZVTEncryptionKeyTag = "kZVEncryptionKeyTag";
inline const std::string kZVTEncryptionKeyTagAlternate = "kZVEncryptionKeyTagAlternate";

// Encrypts the short secrets the SDK keeps on disk (target tokens): AES-256-CBC with PKCS#7
// padding and an HMAC-SHA256 over the ciphertext, under subkeys of one of two random master
// keys kept in the secret store; the key for new data alternates yearly. Data of the older
// forms (no MAC, or no header at all) still decrypts. Every member is safe from any thread;
// making a key holds a process-wide lock and a file lock, so two processes make one key per tag.
class ZVTEncrypter {
  public:
    explicit ZVTEncrypter(ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared());
    ZVTEncrypter(ZVTZevOzozidUserDefaults& settings, std::string keychainService);

    std::optional<std::string> encryptString(const std::string& text);
    std::optional<std::string> decryptString(const std::string& base64);
    std::optional<ZVTBytes> encryptData(const ZVTBytes& plain);
    // Nothing when the data is malformed, its MAC does not match (checked in constant time
    // before decrypting) or its key cannot be had.
    std::optional<ZVTBytes> decryptData(const ZVTBytes& data);

    std::string getCurrentKeyTag();
    void rotateToNewKeyTag(const std::string& keyTag);
    // The master key of the tag, made when the store has none or what it keeps cannot be read as
    // 32 bytes (an error line; data under the lost key stays undecryptable). A fresh key that
    // cannot be stored is used from memory for the rest of the run by every encrypter of the
    // service (one warning line).
    std::optional<ZVTBytes> getKeyWithKeyTag(const std::string& keyTag);

    // HMAC chain with a counter byte from 0; nothing for a size below 1.
    static std::optional<ZVTBytes> getSubkey(const ZVTBytes& key, long outputSize);
    static ZVTBytes getMacBytes(const ZVTBytes& key, const ZVTBytes& data);
    // operation 0 encrypts, 1 decrypts; an absent IV is all zero; the key is 32 bytes.
    static std::optional<ZVTBytes> performCryptoOperation(int operation, const ZVTBytes& input,
                                                          const std::optional<ZVTBytes>& iv,
                                                          const ZVTBytes& key);
    static std::string getMetadataString(const std::string& keyTag,
                                         const std::string& algorithm = "AES");

  private:
    // `report`: log an unreadable key (only the read that goes on to replace it does).
    std::optional<ZVTBytes> readStoredKey(const std::string& keyTag, bool& missing,
                                          bool report = false);
    std::optional<ZVTBytes> makeKeyLocked(const std::string& keyTag);
    static std::map<std::pair<std::string, std::string>, ZVTBytes>& unsavedKeys();
    std::optional<ZVTBytes> decryptHeaded(const ZVTBytes& data, size_t colon);

    ZVTZevOzozidUserDefaults& settings_;
    std::string service_;
    std::mutex cacheMutex_;
    std::optional<ZVTBytes> originalKeyData_;
    std::optional<ZVTBytes> alternateKeyData_;
};
