#include "session/MVCircuitDatabase.h"

#include <system_error>

#include "platform/Folders.h"

namespace MVCircuitDatabase {

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

std::filesystem::path databasePathToRead(const std::filesystem::path& shippedDatabase) {
    const auto downloaded = downloadedDatabasePath();
    std::error_code ec;
    return std::filesystem::is_regular_file(downloaded, ec) ? downloaded : shippedDatabase;
}

}  // namespace MVCircuitDatabase
