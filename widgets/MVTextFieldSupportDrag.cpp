#include "widgets/MVTextFieldSupportDrag.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <system_error>

MVTextFieldSupportDrag::MVTextFieldSupportDrag(QWidget* parent)
    : QLineEdit(parent), defaults_(&platform::UserDefaults::standard()) {
    setReadOnly(true);
    setAcceptDrops(true);
}

void MVTextFieldSupportDrag::setUrl(const std::optional<std::filesystem::path>& url) {
    url_ = url;
    setText(url ? QString::fromStdString(url->string()) : QString());
}

std::optional<std::filesystem::path> MVTextFieldSupportDrag::locationFromMimeData(
    const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return std::nullopt;
    const QString path = urls.first().toLocalFile();
    if (path.isEmpty()) return std::nullopt;
    return std::filesystem::path(path.toStdString());
}

void MVTextFieldSupportDrag::acceptDroppedLocation(const std::filesystem::path& location) {
    setUrl(location);
    if (tag_ == kSourceFolderTag) {
        platform::NotificationCenter::defaultCenter().post(MVSourceURLChanged);
    } else if (tag_ == kDestinationFolderTag) {
        defaults_->setString(MVHelper::Default_DestinationFolder(), location.string());
        defaults_->synchronize();
    }
    emit locationDropped();
}

void MVTextFieldSupportDrag::dragEnterEvent(QDragEnterEvent* event) {
    if (locationFromMimeData(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MVTextFieldSupportDrag::dragMoveEvent(QDragMoveEvent* event) {
    if (locationFromMimeData(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MVTextFieldSupportDrag::dropEvent(QDropEvent* event) {
    const auto location = locationFromMimeData(event->mimeData());
    if (!location) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    acceptDroppedLocation(*location);
}

std::uint64_t folderSizeForURL(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    if (error) return 0;
    std::uint64_t total = 0;
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            // An entry that cannot be read: skip it and go on with the next.
            error.clear();
            continue;
        }
        std::error_code statError;
        if (!it->is_regular_file(statError) || it->is_symlink(statError)) continue;
        const auto size = it->file_size(statError);
        if (!statError) total += size;
    }
    return total;
}
