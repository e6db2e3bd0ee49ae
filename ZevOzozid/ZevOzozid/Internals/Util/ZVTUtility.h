#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Class-level services shared by the whole SDK. Every function is safe from any thread unless
// it says otherwise.
namespace ZVTUtility {

// --- SDK identity (read from the identity record in the program image)
std::string sdkName();
std::string sdkVersion();

// --- Keyed archiving
using ObjectFactory = std::function<std::shared_ptr<ZVTSerializableObject>()>;
// Adds a class the unarchiver may make; only registered classes are ever decoded.
void registerArchivableClass(const std::string& className, ObjectFactory factory);
// Old archived class names and the registered class that now decodes each.
void addMigrationClasses(const std::vector<std::pair<std::string, std::string>>& oldToNew);
// Archives larger than this, or nested deeper than kMaxArchiveDepth, decode as nothing.
inline constexpr size_t kMaxArchiveBytes = 16u * 1024u * 1024u;
inline constexpr int kMaxArchiveDepth = 64;

// Bytes of the object (nullopt for nullptr, or when encoding fails: one error line).
std::optional<ZVTBytes> archiveKeyedData(const ZVTSerializableObject* object);
// Bytes of a list of objects (a history); entries must not be null.
std::optional<ZVTBytes> archiveKeyedList(const std::vector<const ZVTSerializableObject*>& list);
template <typename T>
std::optional<ZVTBytes> archiveKeyedList(const std::vector<std::shared_ptr<T>>& list) {
    std::vector<const ZVTSerializableObject*> raw;
    for (const auto& item : list) raw.push_back(item.get());
    return archiveKeyedList(raw);
}
// The object archived in bytes; nullptr (and one error line) when the bytes are not an archive,
// name an unregistered class, hold a value of the wrong kind, or pass the limits above.
std::shared_ptr<ZVTSerializableObject> unarchiveKeyedData(const ZVTBytes* bytes);
// The list archived in bytes; nullopt (and one error line) as above.
std::optional<std::vector<std::shared_ptr<ZVTSerializableObject>>> unarchiveKeyedList(
    const ZVTBytes* bytes);

template <typename T>
std::shared_ptr<T> unarchiveKeyedDataAs(const ZVTBytes* bytes) {
    return std::dynamic_pointer_cast<T>(unarchiveKeyedData(bytes));
}
// nullopt when the list does not decode or holds an object of another class.
template <typename T>
std::optional<std::vector<std::shared_ptr<T>>> unarchiveKeyedListOf(const ZVTBytes* bytes) {
    auto list = unarchiveKeyedList(bytes);
    if (!list) return std::nullopt;
    std::vector<std::shared_ptr<T>> out;
    for (auto& item : *list) {
        auto typed = std::dynamic_pointer_cast<T>(item);
        if (!typed) return std::nullopt;
        out.push_back(std::move(typed));
    }
    return out;
}
template <typename T>
std::optional<std::vector<std::shared_ptr<T>>> unarchiveKeyedListOf(
    const std::optional<ZVTBytes>& bytes) {
    return unarchiveKeyedListOf<T>(bytes ? &*bytes : nullptr);
}
template <typename T>
std::shared_ptr<T> unarchiveKeyedDataAs(const std::optional<ZVTBytes>& bytes) {
    return unarchiveKeyedDataAs<T>(bytes ? &*bytes : nullptr);
}
// Decodes one object map through the registry (for the decoder); nullptr with `why` set.
std::shared_ptr<ZVTSerializableObject> decodeArchivedObject(const ZVTJson& map, std::string& why);

// --- JSON text
// Compact or indented text; invalid UTF-8 becomes U+FFFD, "/" stays plain.
std::string jsonText(const ZVTJson& value, bool prettyPrint);

// --- String formatting
std::optional<std::string> appSecretFrom(const std::optional<std::string>& configuration);
std::optional<std::string> transmissionTargetTokenFrom(
    const std::optional<std::string>& configuration);
std::optional<std::string> targetKeyFromTargetToken(const std::optional<std::string>& token);
std::optional<std::string> iKeyFromTargetToken(const std::optional<std::string>& token);
std::string sha256(const std::string& text);
// Indented text of JSON bytes; the bytes as text when they are not JSON or nest too deep.
std::optional<std::string> prettyPrintJson(const std::optional<std::string>& bytes);
// The text with every match of the masking pattern replaced (see ZVTTextPattern for the
// patterns it takes; "$&" in the template is the match); nothing, with an error line, for a
// pattern outside that form.
std::optional<std::string> obfuscateString(const std::optional<std::string>& text,
                                           const std::string& pattern,
                                           const std::string& replacementTemplate);
// Length in UTF-16 units of UTF-8 text (an invalid byte counts as one unit).
size_t utf16Length(const std::string& text);
// The longest prefix of at most `units` UTF-16 units that does not split a character.
std::string truncateToUTF16Units(const std::string& text, size_t units);

// --- Property validation
inline constexpr size_t kMaxPropertiesPerLog = 20;
inline constexpr size_t kMaxPropertyKeyLength = 125;
inline constexpr size_t kMaxPropertyValueLength = 125;
// Entries of `properties` (a JSON object, in its order) kept as valid string pairs.
std::map<std::string, std::string> validateProperties(const ZVTJson& properties,
                                                      const std::string& logName,
                                                      const std::string& logType);

// --- Dates (UTC, "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'")
// Now from the platform clock, truncated to whole milliseconds.
ZVTDate currentDate();
double nowInMilliseconds();
std::string dateToISO8601(const ZVTDate& date);
std::optional<ZVTDate> dateFromISO8601(const std::string& text);
// The formatter keeps no state here; kept for callers that reset it.
void resetDateFormatterInstance();

// --- Environment
int currentAppEnvironment();        // always 99
bool hasEmbeddedMobileProvision();  // always false here
bool isAppStoreReceiptSandbox();    // always false here

// --- Application
enum ZVTApplicationState : int {
    ZVTApplicationStateActive = 0,
    ZVTApplicationStateBackground = 2,
    ZVTApplicationStateUnknown = 3
};
// 3 off the main queue, else 2 when the host reports itself hidden, else 0.
int sharedAppState();
int applicationState();
// Opens the URL with xdg-open (argument vector) from the main queue, then calls completion
// there with whether the opener succeeded. Options are not used.
void sharedAppOpenUrl(const std::string& url, std::function<void(bool)> completion);

}  // namespace ZVTUtility
