#pragma once

#include "platform/UserDefaults.h"

#include <QLineEdit>

#include <cstdint>
#include <filesystem>
#include <optional>

class QMimeData;

// A read-only field that shows a folder or file location and lets the user set it by dropping a
// location on it from a file manager. Only drags that carry local file URLs (text/uri-list with a
// file: URL) are accepted, always as a copy; the first URL of a drop is taken.
//
// The field's tag says what a drop does besides showing the location:
//   0  card-import source folder: posts "MVSourceURLChanged" (no object, no user info) on the
//      default notification centre; the card-import sheet reads url() back.
//   1  destination folder: stores the path (plain text) in the user defaults under
//      "Default_DestinationFolder" and synchronises the store.
//   other: nothing more.
// setUrl() only shows and keeps a location; it posts nothing and stores nothing. Main thread only.
class MVTextFieldSupportDrag : public QLineEdit {
    Q_OBJECT
  public:
    static constexpr int kSourceFolderTag = 0;
    static constexpr int kDestinationFolderTag = 1;

    explicit MVTextFieldSupportDrag(QWidget* parent = nullptr);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    const std::optional<std::filesystem::path>& url() const { return url_; }
    // Shows the path, or "" for none.
    void setUrl(const std::optional<std::filesystem::path>& url);

    // The store a destination drop writes to (the standard store unless a test gives another).
    void setDefaults(platform::UserDefaults& defaults) { defaults_ = &defaults; }

    // The location a drag would set, or none when the drag is not accepted.
    static std::optional<std::filesystem::path> locationFromMimeData(const QMimeData* data);
    // What a drop does once its location is known (also the whole effect of dropEvent).
    void acceptDroppedLocation(const std::filesystem::path& location);

  signals:
    // Emitted after every accepted drop, once the field shows the new location.
    void locationDropped();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    int tag_ = -1;
    std::optional<std::filesystem::path> url_;
    platform::UserDefaults* defaults_;
};

// The sum of the sizes of every file below a folder, at any depth: entries that cannot be read
// (a folder without permission, a file that vanished) are skipped and the walk goes on; symbolic
// links count as themselves and are not followed. 0 for an empty, missing or unreadable folder.
// Safe from any thread.
std::uint64_t folderSizeForURL(const std::filesystem::path& folder);
