#pragma once

#include "transfer/core/MVServiceHosts.h"

#include "platform/NotificationCenter.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

// What the update sheet needs of the update checker, so that tests can stand in for it.
class MVVersionManaging {
  public:
    struct CatalogueInfo {
        std::string version;        // the catalogue's "LatestVersion"
        std::string urlToDownload;  // the package, or the circuit-database archive
    };

    // A catalogue, or why there is none. `refusal` is set only for a reason that also stops a
    // download (the update server redirected away from https); `problem` says in a few words why
    // any catalogue could not be read ("host not found", "status 500", "not a catalogue", ...)
    // and is empty when `info` is there.
    struct CatalogueAnswer {
        std::optional<CatalogueInfo> info;
        std::string refusal;
        std::string problem;
    };

    // Whether a catalogue's version is newer than the installed `local` one (false without one).
    static bool offersNewer(const std::optional<CatalogueInfo>& info, const std::string& local);

    virtual ~MVVersionManaging() = default;
    virtual std::string appVersionString() = 0;
    virtual std::string localCircuitDatabaseVersion() = 0;
    virtual std::optional<CatalogueInfo> softwareCatalogueInfo() = 0;
    virtual std::optional<CatalogueInfo> circuitDatabaseCatalogueInfo() = 0;
    virtual CatalogueAnswer softwareCatalogue() { return {softwareCatalogueInfo(), {}, {}}; }
    virtual CatalogueAnswer circuitDatabaseCatalogue() {
        return {circuitDatabaseCatalogueInfo(), {}, {}};
    }
    virtual bool isSoftwareUpdateAvailable() = 0;
    virtual bool isCircuitDatabaseUpdateAvailable() = 0;
    // Start a download when there is something newer; true when one was started, which then
    // ends with "downloadedSW" / "downloadedTrackDB" or "downingErrorMessage". A catalogue
    // refused for its redirect posts "downingErrorMessage" with the refusal and gives true too.
    virtual bool downloadSoftwareUpdate() = 0;
    virtual bool downloadCircuitDatabaseUpdate() = 0;
};

// The update checker: whether a newer program or circuit database exists (two small XML
// catalogues on the update host), and the two downloads. It keeps nothing between calls.
//
// Addresses: host + "/Updates/Gridlark for macOS/Catalogue.xml" (or the text of
// "CustomUpdateUrl.txt" in the product folder, trimmed; it may name a local file), host +
// "/Updates/Circuit Database/CircuitDatabaseCatalogue.xml", and host + "/Updates/" + the paths
// the catalogues give. Only https addresses are fetched (see MVUpdateText::isPermittedURL);
// anything else is refused before a request. Redirects are followed only to https addresses, at
// most 10 of them (the loopback switch does not widen that): a catalogue, package or archive
// redirected elsewhere, or further, fails with a reason that the sheet shows ("downingErrorMessage"
// for a download, CatalogueAnswer::refusal for a catalogue), and nothing is replaced. A catalogue
// must arrive with status 200 within 10 s; a download ends once 60 s pass without a byte.
//
// Notifications, posted on the download's worker thread (observers that touch windows must hop
// to the main queue): "downloadedSW" (object this; "url": the package's path, "kind"),
// "downloadedTrackDB" (no object, no user info), "downingErrorMessage" (object this; "error":
// text, "kind": "software" or "circuitDatabase"). The user-info values are std::filesystem::path
// and std::string.
//
// The package: "Gridlark<ext>" in the product folder (ext: the extension of the file the
// catalogue names), the previous one kept once as "_Gridlark<ext>"; it is downloaded beside them
// and rotated in only when the server answered 200. The circuit database: downloaded as "trackDB"
// into the support folder, every entry checked and unpacked into a staging folder beside the
// database, checked to hold the start/finish database, and swapped in whole: any failure keeps
// the installed database as it was.
//
// The queries block the calling thread for the network exchange: call them on a worker, never on
// the main thread. Safe from any thread.
class MVVersionManager : public MVVersionManaging {
  public:
    static constexpr char kDownloadedSW[] = "downloadedSW";
    static constexpr char kDownloadedTrackDB[] = "downloadedTrackDB";
    static constexpr char kDownloadError[] = "downingErrorMessage";
    static constexpr char kKindSoftware[] = "software";
    static constexpr char kKindCircuitDatabase[] = "circuitDatabase";

    struct Config {
        std::string updateHost = MVServiceHosts::kUpdateHost;
        // <data>/Morvane, the circuit-database reader's folder; empty: worked out on each use.
        std::filesystem::path supportFolder;
        std::filesystem::path builtInDatabase;  // empty: the shipped resource
        std::string appVersion;                 // empty: the program's own version
        bool allowLoopbackHttpForTests = false;
        std::chrono::milliseconds catalogueTimeout{10000};
        std::chrono::milliseconds downloadStall{60000};
        std::chrono::milliseconds downloadLimit{std::chrono::hours(2)};
    };

    explicit MVVersionManager(Config config, platform::NotificationCenter& center =
                                                 platform::NotificationCenter::defaultCenter());
    MVVersionManager() : MVVersionManager(Config{}) {}

    // The shared instance (default configuration), made on first use.
    static MVVersionManager& sharedVersionManager();

    // The support folder, created when missing; none only when it cannot be named.
    std::optional<std::filesystem::path> supportFolderURL() const;
    std::filesystem::path productFolder() const;
    std::filesystem::path databaseFolder() const;  // support folder / "Trackmap Database"

    std::string appVersionString() override;
    std::string localCircuitDatabaseVersion() override;
    std::optional<CatalogueInfo> softwareCatalogueInfo() override;
    std::optional<CatalogueInfo> circuitDatabaseCatalogueInfo() override;
    CatalogueAnswer softwareCatalogue() override;
    CatalogueAnswer circuitDatabaseCatalogue() override;
    bool isSoftwareUpdateAvailable() override;
    bool isCircuitDatabaseUpdateAvailable() override;
    bool downloadSoftwareUpdate() override;
    bool downloadCircuitDatabaseUpdate() override;

    // The catalogue at `address` (percent-encoded first); `allowFile` for the user's own address.
    // A redirect that was refused leaves its reason in `refusal`; any failure says why in
    // `problem` (see CatalogueAnswer).
    std::optional<std::pair<std::string, std::string>> readCatalogue(
        const std::string& address, bool allowFile, std::string* refusal = nullptr,
        std::string* problem = nullptr) const;
    // Downloads the package from `url` and rotates it in (blocking; the download's worker calls
    // it). Posts "downloadedSW" or the error.
    void downloadPackage(const std::string& url, const std::string& extension);
    // Downloads and installs the circuit database (blocking). Posts "downloadedTrackDB" or the
    // error.
    void downloadAndInstallDatabase(const std::string& url);
    // Replaces the database folder by the archive's contents, or keeps it and returns the reason.
    std::string installCircuitDatabase(const std::filesystem::path& zip);

  private:
    std::string fetchToFile(const std::string& url, const std::filesystem::path& file) const;
    void postError(const std::string& kind, const std::string& error);

    Config config_;
    platform::NotificationCenter& center_;
};
