#include "session/MVCircuitDatabase.h"

#include "platform/Folders.h"

#include <pugixml.hpp>

#include <algorithm>
#include <system_error>

namespace MVCircuitDatabase {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<std::string> readRegularFile(const std::filesystem::path& file) {
    std::error_code error;
    if (file.empty() || !std::filesystem::is_regular_file(file, error)) return std::nullopt;
    return platform::folders::readFile(file);
}

}  // namespace

std::filesystem::path trackmapDatabaseFolder() {
    return platform::folders::dataHome() / kMakerFolderName / kTrackmapDatabaseFolderName;
}

std::filesystem::path downloadedDatabaseFolder() {
    return trackmapDatabaseFolder() / kStartFinishDatabaseFolderName;
}

std::filesystem::path downloadedDatabasePath() {
    return downloadedDatabaseFolder() / kDatabaseFileName;
}

std::filesystem::path shippedDatabasePath() {
    return platform::folders::programResources() / kDatabaseFileName;
}

int compareVersions(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the digit runs by value: skip leading zeros, then by length, then digits.
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei])) ++ei;
            while (ej < b.size() && isDigit(b[ej])) ++ej;
            std::string_view ra = a.substr(i, ei - i), rb = b.substr(j, ej - j);
            ra.remove_prefix(std::min(ra.find_first_not_of('0'), ra.size()));
            rb.remove_prefix(std::min(rb.find_first_not_of('0'), rb.size()));
            if (ra.size() != rb.size()) return ra.size() < rb.size() ? -1 : 1;
            if (const int c = ra.compare(rb); c != 0) return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::optional<std::string> databaseVersion(std::string_view document) {
    pugi::xml_document parsed;
    if (!parsed.load_buffer(document.data(), document.size(), pugi::parse_default,
                            pugi::encoding_utf8)) {
        return std::nullopt;
    }
    const pugi::xml_attribute version = parsed.document_element().attribute("version");
    if (!version) return std::nullopt;
    return std::string(version.value());
}

DatabaseInUse databaseInUse(const std::filesystem::path& shipped,
                            const std::filesystem::path& downloaded) {
    DatabaseInUse inUse;
    inUse.path = shipped;
    inUse.text = platform::folders::readFile(shipped);
    const auto shippedVersion = inUse.text ? databaseVersion(*inUse.text) : std::nullopt;
    inUse.version = shippedVersion.value_or("0");

    auto downloadedText = readRegularFile(downloaded);
    const auto downloadedVersion = downloadedText ? databaseVersion(*downloadedText) : std::nullopt;
    if (!downloadedVersion) return inUse;
    if (shippedVersion && compareVersions(*shippedVersion, *downloadedVersion) >= 0) return inUse;
    inUse.path = downloaded;
    inUse.version = *downloadedVersion;
    inUse.downloaded = true;
    inUse.text = std::move(downloadedText);
    return inUse;
}

std::filesystem::path databasePathToRead(const std::filesystem::path& shippedDatabase) {
    return databaseInUse(shippedDatabase).path;
}

}  // namespace MVCircuitDatabase
