#include "app/MVSandbox.h"

#include "platform/Dispatch.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>
#include <QUrl>

#include <system_error>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> componentsOf(const fs::path& path) {
    std::vector<std::string> parts;
    for (const fs::path& part : path.lexically_normal()) {
        if (!part.empty()) parts.push_back(part.string());
    }
    // A trailing separator leaves an empty last element: not a component.
    while (!parts.empty() && parts.back().empty()) parts.pop_back();
    return parts;
}

// Greys out the entries the panel filter refuses.
class PermissionFilter : public QSortFilterProxyModel {
  public:
    PermissionFilter(const MVSandboxPanelDelegate& filter, QObject* parent)
        : QSortFilterProxyModel(parent), filter_(filter) {}

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QSortFilterProxyModel::flags(index);
        const auto* model = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!model) return f;
        const QString path = model->filePath(mapToSource(index));
        if (!filter_.shouldEnableURL(fs::path(path.toStdString()))) {
            f &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        }
        return f;
    }

  private:
    const MVSandboxPanelDelegate& filter_;
};

std::optional<fs::path> runPanel(const fs::path& start, const MVSandboxPanelDelegate& filter,
                                 const QString& message) {
    QFileDialog panel(nullptr, QStringLiteral("Permission Required"),
                      QString::fromStdString(start.string()));
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    panel.setOption(QFileDialog::ReadOnly, true);  // no new folders
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setFilter(QDir::AllEntries | QDir::NoDotAndDotDot);
    panel.setLabelText(QFileDialog::Accept, QStringLiteral("Allow"));
    panel.setLabelText(QFileDialog::LookIn, message);
    panel.setProxyModel(new PermissionFilter(filter, &panel));
    panel.raise();
    panel.activateWindow();
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return fs::path(panel.selectedFiles().first().toStdString());
}

}  // namespace

MVSandboxPanelDelegate::MVSandboxPanelDelegate(const fs::path& url)
    : pathComponents_(componentsOf(url)) {}

bool MVSandboxPanelDelegate::shouldEnableURL(const fs::path& candidate) const {
    const std::vector<std::string> parts = componentsOf(candidate);
    if (parts.size() > pathComponents_.size()) return false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] != pathComponents_[i]) return false;
    }
    return true;
}

MVSandbox::MVSandbox(platform::UserDefaults& defaults) : defaults_(defaults), panel_(runPanel) {}

std::string MVSandbox::keyForBookmarkDataForURL(const Path& url) {
    QString text = QUrl::fromLocalFile(QString::fromStdString(url.string())).toString();
    std::error_code error;
    if (fs::is_directory(url, error) && !text.endsWith(QLatin1Char('/'))) text += '/';
    return "bd_" + text.toStdString();
}

void MVSandbox::setBookmarkData(const Bytes& data, const Path& url) {
    defaults_.setData(keyForBookmarkDataForURL(url), data);
}

void MVSandbox::clearBookmarkDataForURL(const Path& url) {
    defaults_.removeObjectForKey(keyForBookmarkDataForURL(url));
}

std::optional<MVSandbox::Bytes> MVSandbox::bookmarkDataForURL(const Path& url) const {
    Path current = url;
    while (current.string().size() >= 2) {
        if (auto data = defaults_.dataForKey(keyForBookmarkDataForURL(current))) return data;
        Path parent = current.parent_path();
        if (parent == current) break;
        current = parent;
    }
    return std::nullopt;
}

std::optional<MVSandbox::Bytes> MVSandbox::persistPermissionURL(const Path& url) {
    std::error_code error;
    const Path resolved = fs::canonical(url, error);
    if (error) return std::nullopt;
    const std::string text = resolved.string();
    Bytes data(text.begin(), text.end());
    setBookmarkData(data, url);
    return data;
}

MVSandbox::Path MVSandbox::nearestExistingFolder(const Path& url) {
    Path current = url;
    std::error_code error;
    while (current.string().size() >= 2 && !fs::exists(current, error)) {
        current = current.parent_path();
    }
    return current;
}

std::optional<MVSandbox::Path> MVSandbox::askPermissionForURL(const Path& url,
                                                              const QString& message) const {
    const MVSandboxPanelDelegate filter(url);
    const Path start = nearestExistingFolder(url);
    if (platform::mainQueue().isCurrent()) return panel_(start, filter, message);
    std::optional<Path> granted;
    platform::syncOnMain([&] { granted = panel_(start, filter, message); });
    return granted;
}

std::optional<MVSandbox::Path> MVSandbox::askPermissionWithURL(
    const Path& url, const QString& message, const std::function<void(const Path&)>& block) {
    std::error_code error;
    Path normalised = fs::weakly_canonical(url.lexically_normal(), error);
    if (error) normalised = url.lexically_normal();

    std::optional<Path> granted;
    bool keepStoredEntry = false;
    if (const std::optional<Bytes> data = bookmarkDataForURL(normalised)) {
        const Path resolved(std::string(data->begin(), data->end()));
        const bool resolvable = !data->empty();
        const bool stale = resolvable && !fs::exists(resolved, error);
        if (stale) {
            clearBookmarkDataForURL(normalised);
            if (persistPermissionURL(resolved)) granted = resolved;
        } else if (resolvable) {
            granted = resolved;
        } else {
            keepStoredEntry = true;
        }
    }
    if (!granted) {
        granted = askPermissionForURL(normalised, message);
        if (!granted) return std::nullopt;
        if (!keepStoredEntry) persistPermissionURL(*granted);
    }
    if (block) block(*granted);
    return granted;
}
