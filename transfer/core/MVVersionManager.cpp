#include "transfer/core/MVVersionManager.h"

#include "transfer/core/MVUpdateText.h"

#include "session/MVCircuitDatabase.h"

#include "platform/Dispatch.h"
#include "platform/Folders.h"
#include "platform/URLLoader.h"

#include <algorithm>
#include <iostream>

namespace fs = std::filesystem;

namespace {

constexpr char kSoftwareCataloguePath[] = "/Updates/Gridlark for macOS/Catalogue.xml";
constexpr char kDatabaseCataloguePath[] = "/Updates/Circuit Database/CircuitDatabaseCatalogue.xml";

void say(const std::string& line) {
    std::cout << line << std::endl;
}

std::string slashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// The extension of the last component of a catalogue's "DownloadUrl" (".pkg", ".deb", ...).
std::string packageExtension(const std::string& downloadUrl) {
    const fs::path name = fs::path(slashes(downloadUrl)).filename();
    return name.extension().string();
}

// The reason for the user when the loader refused to follow a redirect, else "". The loader
// follows redirects of update requests only to https and at most 10 times.
std::string redirectRefusal(const platform::URLError& error, const std::string& what) {
    switch (error.redirectRefused) {
        case platform::URLRedirectRefusal::Protocol:
            return "The update server redirected the " + what +
                   " to an address that is not https; the redirect was not followed.";
        case platform::URLRedirectRefusal::TooMany:
            return "The update server redirected the " + what +
                   " too many times; the redirects were not followed.";
        case platform::URLRedirectRefusal::None:
            break;
    }
    return {};
}

}  // namespace

MVVersionManager::MVVersionManager(Config config, platform::NotificationCenter& center)
    : config_(std::move(config)), center_(center) {}

MVVersionManager& MVVersionManager::sharedVersionManager() {
    static auto* manager = new MVVersionManager();
    return *manager;
}

std::optional<fs::path> MVVersionManager::supportFolderURL() const {
    const fs::path folder = config_.supportFolder.empty()
                                ? MVCircuitDatabase::trackmapDatabaseFolder().parent_path()
                                : config_.supportFolder;
    if (folder.empty()) return std::nullopt;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) say("Cannot create " + folder.string() + ": " + error.message());
    return folder;
}

fs::path MVVersionManager::productFolder() const {
    return supportFolderURL().value_or(fs::path()) / "Gridlark";
}

fs::path MVVersionManager::databaseFolder() const {
    return supportFolderURL().value_or(fs::path()) / MVCircuitDatabase::kTrackmapDatabaseFolderName;
}

std::string MVVersionManager::appVersionString() {
    return config_.appVersion.empty() ? std::string(GRIDLARK_VERSION) : config_.appVersion;
}

std::optional<std::pair<std::string, std::string>> MVVersionManager::readCatalogue(
    const std::string& address, bool allowFile, std::string* refusal, std::string* problem) const {
    std::string ignored;
    std::string& why = problem ? *problem : ignored;
    const std::string url = MVUpdateText::percentEncode(address);
    if (!MVUpdateText::isPermittedURL(url, allowFile, config_.allowLoopbackHttpForTests)) {
        say("Refused to read a catalogue over an insecure address: " + url);
        why = "not an https address";
        return std::nullopt;
    }
    platform::URLRequest request;
    request.url = url;
    request.timeout = config_.catalogueTimeout;
    request.connectTimeout = std::min(config_.catalogueTimeout, request.connectTimeout);
    request.redirectsHttpsOnly = true;
    const platform::URLResult result = platform::URLLoader::shared().send(request);
    if (result.error) {
        const std::string refused = redirectRefusal(*result.error, "catalogue");
        say(refused.empty() ? "Cannot read the catalogue " + url + ": " + result.error->message
                            : refused);
        if (refusal) *refusal = refused;
        why = MVUpdateText::failureInWords(*result.error);
        return std::nullopt;
    }
    if (result.response.status != 200) {
        why = "status " + std::to_string(result.response.status);
        return std::nullopt;
    }
    const auto catalogue = MVUpdateText::parseCatalogue(result.response.body);
    if (!catalogue) {
        why = "not a catalogue";
        return std::nullopt;
    }
    return std::make_pair(catalogue->latestVersion, catalogue->downloadUrl);
}

std::optional<MVVersionManaging::CatalogueInfo> MVVersionManager::softwareCatalogueInfo() {
    return softwareCatalogue().info;
}

std::optional<MVVersionManaging::CatalogueInfo> MVVersionManager::circuitDatabaseCatalogueInfo() {
    return circuitDatabaseCatalogue().info;
}

MVVersionManaging::CatalogueAnswer MVVersionManager::softwareCatalogue() {
    CatalogueAnswer answer;
    if (!supportFolderURL()) {
        answer.problem = "no folder for the program's data";
        return answer;
    }
    std::string address = config_.updateHost + kSoftwareCataloguePath;
    bool custom = false;
    const fs::path customFile = productFolder() / "CustomUpdateUrl.txt";
    std::error_code error;
    if (fs::exists(customFile, error)) {
        say("+++You are using test url");
        const auto text = platform::folders::readFile(customFile);
        const std::string trimmed = text ? MVUpdateText::trimmed(*text) : std::string();
        if (trimmed.empty()) {
            say("Cannot use " + customFile.string() + ": unreadable or empty");
        } else {
            address = trimmed;
            custom = true;
        }
    }
    const auto catalogue = readCatalogue(address, custom, &answer.refusal, &answer.problem);
    if (!catalogue) return answer;
    answer.info = CatalogueInfo{
        catalogue->first,
        config_.updateHost + "/Updates/" + MVUpdateText::percentEncode(slashes(catalogue->second))};
    return answer;
}

MVVersionManaging::CatalogueAnswer MVVersionManager::circuitDatabaseCatalogue() {
    CatalogueAnswer answer;
    const auto catalogue = readCatalogue(config_.updateHost + kDatabaseCataloguePath, false,
                                         &answer.refusal, &answer.problem);
    if (!catalogue) return answer;
    const std::string& downloadUrl = catalogue->second;
    const std::size_t separator = downloadUrl.find('\\');
    if (separator == std::string::npos) {  // no folder to take
        answer.problem = "not a catalogue";
        return answer;
    }
    const std::string zipPath = downloadUrl.substr(0, separator) + "/CircuitDataBase.zip";
    answer.info =
        CatalogueInfo{catalogue->first, config_.updateHost + "/Updates/" +
                                            MVUpdateText::percentEncode(slashes(zipPath))};
    return answer;
}

std::string MVVersionManager::localCircuitDatabaseVersion() {
    // The same rule as the reader's, so the version shown and compared is the one in use.
    const fs::path builtIn = config_.builtInDatabase.empty()
                                 ? MVCircuitDatabase::shippedDatabasePath()
                                 : config_.builtInDatabase;
    const auto support = supportFolderURL();
    const fs::path copy = support ? databaseFolder() /
                                        MVCircuitDatabase::kStartFinishDatabaseFolderName /
                                        MVCircuitDatabase::kDatabaseFileName
                                  : fs::path();
    const auto inUse = MVCircuitDatabase::databaseInUse(builtIn, copy);
    say(inUse.downloaded ? "+++Track DB will use application support version"
                         : "+++Track DB will use Built in version");
    return inUse.version;
}

bool MVVersionManaging::offersNewer(const std::optional<CatalogueInfo>& info,
                                    const std::string& local) {
    return info && MVCircuitDatabase::compareVersions(info->version, local) > 0;
}

bool MVVersionManager::isSoftwareUpdateAvailable() {
    const auto info = softwareCatalogueInfo();
    if (!info) return false;
    const std::string local = appVersionString();
    say("local SW version " + local + " vs Online SW version " + info->version);
    return offersNewer(info, local);
}

bool MVVersionManager::isCircuitDatabaseUpdateAvailable() {
    const auto info = circuitDatabaseCatalogueInfo();
    if (!info) return false;
    const std::string local = localCircuitDatabaseVersion();
    say("local track DB version " + local + " vs Online track DB version " + info->version);
    return offersNewer(info, local);
}

bool MVVersionManager::downloadSoftwareUpdate() {
    if (!supportFolderURL()) return false;
    const auto answer = softwareCatalogue();
    if (!answer.refusal.empty()) {
        postError(kKindSoftware, answer.refusal);
        return true;
    }
    const auto& info = answer.info;
    if (!info || MVCircuitDatabase::compareVersions(info->version, appVersionString()) <= 0) {
        say("_No need to download SW");
        return false;
    }
    // The extension comes from the address's last component ("Gridlark%202.1.pkg" -> ".pkg").
    const std::string extension = packageExtension(info->urlToDownload);
    const std::string url = info->urlToDownload;
    platform::globalQueue().async([this, url, extension] { downloadPackage(url, extension); });
    return true;
}

bool MVVersionManager::downloadCircuitDatabaseUpdate() {
    if (!supportFolderURL()) return false;
    const auto answer = circuitDatabaseCatalogue();
    if (!answer.refusal.empty()) {
        postError(kKindCircuitDatabase, answer.refusal);
        return true;
    }
    const auto& info = answer.info;
    if (!info ||
        MVCircuitDatabase::compareVersions(info->version, localCircuitDatabaseVersion()) <= 0) {
        say("_No need to download track DB");
        return false;
    }
    const std::string url = info->urlToDownload;
    platform::globalQueue().async([this, url] { downloadAndInstallDatabase(url); });
    return true;
}

std::string MVVersionManager::fetchToFile(const std::string& url, const fs::path& file) const {
    if (!MVUpdateText::isPermittedURL(url, false, config_.allowLoopbackHttpForTests)) {
        return "Refused to download over an insecure address: " + url;
    }
    platform::URLRequest request;
    request.url = url;
    request.timeout = config_.downloadLimit;
    request.stallTimeout = config_.downloadStall;
    request.redirectsHttpsOnly = true;
    const platform::URLResult result = platform::URLLoader::shared().download(request, file);
    if (result.error) {
        const std::string refused = redirectRefusal(*result.error, "download");
        return refused.empty() ? result.error->message : refused;
    }
    say("Success: " + std::to_string(result.response.status));
    if (result.response.status != 200) {
        std::error_code error;
        fs::remove(file, error);
        return "The server answered with status " + std::to_string(result.response.status) + ".";
    }
    return {};
}

void MVVersionManager::postError(const std::string& kind, const std::string& error) {
    say(error);
    center_.post(kDownloadError, this, {{"error", error}, {"kind", std::string(kind)}});
}

void MVVersionManager::downloadPackage(const std::string& url, const std::string& extension) {
    const fs::path folder = productFolder();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) say("Cannot create " + folder.string() + ": " + error.message());
    const fs::path package = folder / ("Gridlark" + extension);
    const fs::path previous = folder / ("_Gridlark" + extension);
    const fs::path incoming = folder / (".Gridlark" + extension + ".download");
    if (auto failed = fetchToFile(url, incoming); !failed.empty()) {
        postError(kKindSoftware, failed);
        return;
    }
    fs::remove(previous, error);
    if (fs::exists(package, error)) fs::rename(package, previous, error);
    if (error) say("Cannot keep the previous package: " + error.message());
    fs::rename(incoming, package, error);
    if (error) {
        fs::remove(incoming, error);
        postError(kKindSoftware,
                  "error writing file " + package.string() + " : " + error.message());
        return;
    }
    say("Downloaded software");
    center_.post(kDownloadedSW, this, {{"url", package}, {"kind", std::string(kKindSoftware)}});
}

void MVVersionManager::downloadAndInstallDatabase(const std::string& url) {
    const auto support = supportFolderURL();
    if (!support) return;
    const fs::path archive = *support / "trackDB";
    std::error_code error;
    fs::remove(archive, error);
    if (auto failed = fetchToFile(url, archive); !failed.empty()) {
        postError(kKindCircuitDatabase, failed);
        return;
    }
    if (auto failed = installCircuitDatabase(archive); !failed.empty()) {
        say("Extraction of ZIP archive failed with error:" + failed);
        postError(kKindCircuitDatabase,
                  "Extraction of track ZIP archive failed with error:" + failed);
        return;
    }
    say("Downloaded track DB");
    center_.post(kDownloadedTrackDB);
}
