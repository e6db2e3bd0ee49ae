#pragma once

#include "platform/UserDefaults.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Restricts the permission panel to the requested item and the folders above it.
class MVSandboxPanelDelegate {
  public:
    explicit MVSandboxPanelDelegate(const std::filesystem::path& url);

    const std::vector<std::string>& pathComponents() const { return pathComponents_; }
    void setPathComponents(std::vector<std::string> components) {
        pathComponents_ = std::move(components);
    }
    // True when the candidate's components are a leading part of the requested item's.
    bool shouldEnableURL(const std::filesystem::path& candidate) const;

  private:
    std::vector<std::string> pathComponents_;
};

// Keeps the user's permission to reach a file or folder from one run to the next: one bookmark
// per granted location in the user-defaults store, under "bd_" + the location's file URL. A
// bookmark here is the granted location's resolved path; it is stale once nothing exists there
// any more. When no usable bookmark exists, a permission panel asks the user to grant access.
// No part of the program needs it yet: it is ready for file access outside the usual folders.
//
// The store operations are safe from any thread; the panel always runs on the main thread (a
// call from another thread waits for it, within the main queue's time limit).
class MVSandbox {
  public:
    using Bytes = platform::UserDefaults::Bytes;
    using Path = std::filesystem::path;
    // Shows the permission panel: starting folder, panel filter, message; the granted location
    // or none. Replaceable for tests.
    using Panel = std::function<std::optional<Path>(const Path&, const MVSandboxPanelDelegate&,
                                                    const QString&)>;

    explicit MVSandbox(platform::UserDefaults& defaults = platform::UserDefaults::standard());

    // "bd_" + the location's file URL (a folder's ends in "/").
    static std::string keyForBookmarkDataForURL(const Path& url);
    void setBookmarkData(const Bytes& data, const Path& url);
    void clearBookmarkDataForURL(const Path& url);
    // The bookmark of the location or of its nearest folder that has one.
    std::optional<Bytes> bookmarkDataForURL(const Path& url) const;
    // Makes and stores a bookmark of an existing location.
    std::optional<Bytes> persistPermissionURL(const Path& url);
    // Shows the permission panel at the nearest existing folder of `url`.
    std::optional<Path> askPermissionForURL(const Path& url, const QString& message) const;
    // Obtains access (stored or asked) and runs `block` with the granted location; none when
    // the user declines (the block does not run).
    std::optional<Path> askPermissionWithURL(const Path& url, const QString& message,
                                             const std::function<void(const Path&)>& block);

    // The nearest existing folder at or above `url`.
    static Path nearestExistingFolder(const Path& url);

    // For tests:
    void setPanel(Panel panel) { panel_ = std::move(panel); }

  private:
    platform::UserDefaults& defaults_;
    Panel panel_;
};
