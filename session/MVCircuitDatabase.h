#pragma once

#include <filesystem>

// Where the circuit database file lives. The program ships one copy in its resources; a copy
// downloaded by the circuit-database updater, under the user's data folder, takes precedence when
// present. The updater writes into downloadedDatabaseFolder() and the reader reads from it: both
// go through the constants below, so they always name the same folder.
namespace MVCircuitDatabase {

inline constexpr const char* kMakerFolderName = "Morvane";
inline constexpr const char* kTrackmapDatabaseFolderName = "Trackmap Database";
inline constexpr const char* kStartFinishDatabaseFolderName = "Start Finish Database";
inline constexpr const char* kDatabaseFileName = "StartFinishDataBase.xml";

// <data home>/Morvane/Trackmap Database
std::filesystem::path trackmapDatabaseFolder();
// <data home>/Morvane/Trackmap Database/Start Finish Database: where the downloaded database is
// unpacked.
std::filesystem::path downloadedDatabaseFolder();
// downloadedDatabaseFolder()/StartFinishDataBase.xml
std::filesystem::path downloadedDatabasePath();
// The copy shipped with the program: <resources>/StartFinishDataBase.xml.
std::filesystem::path shippedDatabasePath();

// The file to read: the downloaded copy when it is a regular file, else `shippedDatabase`.
std::filesystem::path databasePathToRead(
    const std::filesystem::path& shippedDatabase = shippedDatabasePath());

}  // namespace MVCircuitDatabase
