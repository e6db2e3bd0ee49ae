#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Where the circuit database file lives and which copy is in use. The program ships one copy in
// its resources; the circuit-database updater downloads another under the user's data folder.
// The updater writes into downloadedDatabaseFolder() and the reader reads from it: both go
// through the constants below, so they always name the same folder. Which of the two copies is
// read, and whose version the update check compares and shows, is decided by databaseInUse()
// alone. Stateless; safe from any thread.
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

// Compares versions as text with numbers: runs of digits by value, other characters one by one
// ("1.10" > "1.9", "2.0" > "1.12", "10" > "9"). Negative, zero or positive like strcmp.
int compareVersions(std::string_view a, std::string_view b);

// The root element's "version" of a circuit database document; none when the text is not XML or
// the attribute is absent.
std::optional<std::string> databaseVersion(std::string_view document);

// The copy in use.
struct DatabaseInUse {
    std::filesystem::path path;       // the file to read
    std::string version;              // its version; "0" when the shipped copy carries none
    bool downloaded = false;          // the downloaded copy won
    std::optional<std::string> text;  // the file's bytes as they were judged; none: unreadable
};

// The one rule: the downloaded copy is used when its version is newer than the shipped copy's
// (compareVersions), or when the shipped copy cannot be read or carries no version; otherwise,
// a tie included, the shipped copy. A downloaded copy that is missing, unreadable, not XML or
// without a version is never used. An empty `downloaded` means there is none.
DatabaseInUse databaseInUse(const std::filesystem::path& shipped = shippedDatabasePath(),
                            const std::filesystem::path& downloaded = downloadedDatabasePath());

// databaseInUse(shipped).path
std::filesystem::path databasePathToRead(
    const std::filesystem::path& shippedDatabase = shippedDatabasePath());

}  // namespace MVCircuitDatabase
