// Installing a downloaded circuit database: checked, unpacked beside the installed one, and
// swapped in whole.
#include "transfer/core/MVUpdateText.h"
#include "transfer/core/MVVersionManager.h"
#include "transfer/core/MVZipArchive.h"

#include "session/MVCircuitDatabase.h"

#include "platform/Folders.h"

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The entry of `folder` whose name matches `name` without regard to case.
std::optional<fs::path> findIgnoringCase(const fs::path& folder, const std::string& name) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (lower(entry.path().filename().string()) == lower(name)) return entry.path();
    }
    return std::nullopt;
}

// The archive's start/finish database ("Start Finish DataBase/StartFinishDataBase.xml" in any
// letter case) moved to the names the reader uses, and checked to be a database with a version.
std::string settleStartFinishDatabase(const fs::path& staging) {
    const auto folder =
        findIgnoringCase(staging, MVCircuitDatabase::kStartFinishDatabaseFolderName);
    std::error_code error;
    if (!folder || !fs::is_directory(*folder, error))
        return "the archive holds no start/finish database";
    const auto file = findIgnoringCase(*folder, MVCircuitDatabase::kDatabaseFileName);
    if (!file || !fs::is_regular_file(*file, error))
        return "the archive holds no start/finish database";
    const fs::path wantedFolder = staging / MVCircuitDatabase::kStartFinishDatabaseFolderName;
    const fs::path wantedFile = wantedFolder / MVCircuitDatabase::kDatabaseFileName;
    fs::rename(*folder, wantedFolder, error);
    if (!error) fs::rename(wantedFolder / file->filename(), wantedFile, error);
    if (error) return "cannot arrange the start/finish database: " + error.message();
    const auto text = platform::folders::readFile(wantedFile);
    if (!text || !MVCircuitDatabase::databaseVersion(*text)) {
        return "the start/finish database is unreadable or has no version";
    }
    return {};
}

}  // namespace

std::string MVVersionManager::installCircuitDatabase(const fs::path& zip) {
    const fs::path database = databaseFolder();
    const fs::path staging = database.string() + ".incoming";
    const fs::path retired = database.string() + ".previous";
    std::error_code error;
    fs::remove_all(staging, error);
    fs::remove_all(retired, error);
    fs::create_directories(staging, error);
    if (error) return "cannot create " + staging.string() + ": " + error.message();

    std::string failed = MVZipArchive::extractFile(zip, staging);
    if (failed.empty()) failed = settleStartFinishDatabase(staging);
    if (!failed.empty()) {
        fs::remove_all(staging, error);
        return failed;
    }
    const bool hadDatabase = fs::exists(database, error);
    if (hadDatabase) fs::rename(database, retired, error);
    if (!error) fs::rename(staging, database, error);
    if (error) {
        const std::string reason = "cannot put the new database in place: " + error.message();
        std::error_code ignored;
        if (hadDatabase && !fs::exists(database, ignored)) fs::rename(retired, database, ignored);
        fs::remove_all(staging, ignored);
        return reason;
    }
    fs::remove_all(retired, error);
    return {};
}
