#include "views/MVPopOverAvailableTracksViewController.h"

#include "views/MVTrackCarousel.h"
#include "views/MVTrackIcons.h"

#include "widgets/MVHelperColors.h"

#include "session/MVHelperMotion.h"
#include "session/MVLapMapData.h"
#include "session/MVNotifications.h"

#include "platform/Folders.h"
#include "platform/NotificationCenter.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace fs = std::filesystem;

namespace {

// Wide enough for the middle item and both neighbours beside it, each with its name.
constexpr int kWidth = 600;
constexpr int kHeight = 300;

// The last outline file chosen in this run (main thread only).
fs::path& lastOutlineFile() {
    static fs::path* file = new fs::path;
    return *file;
}

std::optional<fs::path> defaultFileChooser(QWidget* parent) {
    const std::unique_ptr<QFileDialog> panel =
        MVPopOverAvailableTracksViewController::makeOutlinePanel(parent);
    if (panel->exec() != QDialog::Accepted || panel->selectedFiles().isEmpty()) return std::nullopt;
    return fs::path(panel->selectedFiles().first().toStdString());
}

void defaultAlert(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Circuit outline"), text, QMessageBox::Ok,
                    parent);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

}  // namespace

std::unique_ptr<QFileDialog> MVPopOverAvailableTracksViewController::makeOutlinePanel(
    QWidget* parent) {
    auto panel =
        std::make_unique<QFileDialog>(parent, QStringLiteral("Choose a circuit outline file"));
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter(QStringLiteral("Circuit outline (*.cir *.CIR)"));
    panel->setDirectory(QString::fromStdString(outlinePanelFolder().string()));
    panel->setWindowModality(Qt::WindowModal);
    return panel;
}

fs::path MVPopOverAvailableTracksViewController::outlinePanelFolder() {
    const fs::path& last = lastOutlineFile();
    std::error_code error;
    if (!last.empty() && fs::is_directory(last.parent_path(), error)) return last.parent_path();
    return platform::folders::home();
}

MVPopOverAvailableTracksViewController::MVPopOverAvailableTracksViewController(QWidget* parent)
    : QWidget(parent, Qt::Popup), fileChooser_(defaultFileChooser), alert_(defaultAlert) {
    setObjectName(QStringLiteral("MVPopOverAvailableTracksViewController"));
    resize(kWidth, kHeight);
    MVHelper::addLightBlueLayerForViewWithView(this);
    carousel_ = new MVTrackCarousel(this);
    carousel_->setSpacing(carousel_->spacing() * 1.05);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(carousel_);
    connect(carousel_, &MVTrackCarousel::itemSelected, this,
            [this](int index) { didSelectItemAtIndex(index); });
    reloadItems();
}

void MVPopOverAvailableTracksViewController::setArrayOfTracks(std::vector<MVTrackInfoPtr> tracks) {
    arrayOfTracks_ = std::move(tracks);
    reloadItems();
}

int MVPopOverAvailableTracksViewController::numberOfItemsInCarousel() const {
    return static_cast<int>(arrayOfTracks_.size()) + 1;
}

QString MVPopOverAvailableTracksViewController::nameOfItemAtIndex(int index) const {
    if (index == static_cast<int>(arrayOfTracks_.size())) {
        return QStringLiteral("Load custom circuit overlay");
    }
    const MVTrackInfoPtr& track = arrayOfTracks_.at(static_cast<size_t>(index));
    return track ? QString::fromStdString(track->trackName()) : QString();
}

std::optional<fs::path> MVPopOverAvailableTracksViewController::previewFileForName(
    const std::string& name) {
    if (name.empty()) return std::nullopt;
    const fs::path folder =
        platform::folders::dataHome() / "Morvane" / "Trackmap Database" / "DataBaseTrackmapFiles";
    std::error_code ec;
    std::vector<fs::path> exact;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& item = it->path();
        if (item.extension() == ".PNG" && item.stem() == name && it->is_regular_file(ec)) {
            exact.push_back(item);
        }
    }
    if (!exact.empty()) return *std::min_element(exact.begin(), exact.end());
    return MVHelper::getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName(name);
}

void MVPopOverAvailableTracksViewController::reloadItems() {
    QVector<MVTrackCarousel::Item> items;
    for (int i = 0; i < numberOfItemsInCarousel(); ++i) {
        MVTrackCarousel::Item item;
        item.name = nameOfItemAtIndex(i);
        if (i < static_cast<int>(arrayOfTracks_.size())) {
            if (const auto file = previewFileForName(item.name.toStdString())) {
                item.image = QImage(QString::fromStdString(file->string()));
            }
            if (item.image.isNull()) item.image = MVTrackIcons::image(item.name);
        }
        items << item;
    }
    carousel_->setItems(std::move(items));
}

void MVPopOverAvailableTracksViewController::didSelectItemAtIndex(int index) {
    if (index < 0 || index >= numberOfItemsInCarousel()) return;
    if (index < static_cast<int>(arrayOfTracks_.size())) {
        platform::NotificationCenter::defaultCenter().post(
            MVNotificationTrackChanged, this, {{"track", arrayOfTracks_[size_t(index)]}});
        return;
    }
    chooseOutlineFile();
}

void MVPopOverAvailableTracksViewController::chooseOutlineFile() {
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const std::optional<fs::path> file = fileChooser_(owner);
    if (!file) return;
    lastOutlineFile() = *file;
    const auto outline = MVLapMapData::readCircuitOutline(*file);
    const bool usable = outline && !outline->empty() &&
                        std::all_of(outline->begin(), outline->end(), [](const MVLocation& l) {
                            return std::isfinite(l.latitude()) && std::isfinite(l.longitude());
                        });
    if (!usable) {
        alert_(owner, QStringLiteral("\"%1\" is not a circuit outline file that can be read. "
                                     "The circuit stays as it was.")
                          .arg(QString::fromStdString(file->filename().string())));
        return;
    }
    MVTrackInfoPtr record = MVTrackInfo::instance();
    record->setUrlFromCustomer(*file);
    platform::NotificationCenter::defaultCenter().post(MVNotificationOverlayChanged, this,
                                                       {{"track", record}});
}

void MVPopOverAvailableTracksViewController::scrollWheel(double deltaX) {
    if (carousel_->isScrolling()) return;
    if (deltaX < -2) {
        carousel_->scrollToItemAtIndex(carousel_->currentItemIndex() + 1, true);
    } else if (deltaX > 2) {
        carousel_->scrollToItemAtIndex(carousel_->currentItemIndex() - 1, true);
    }
}

// A trackpad turns it sideways, an ordinary mouse wheel up and down: the larger of the two
// deltas counts, a turn down (or left) moving to the next item.
void MVPopOverAvailableTracksViewController::wheelEvent(QWheelEvent* event) {
    event->accept();
    const QPointF delta = event->pixelDelta().isNull() ? QPointF(event->angleDelta()) / 8.0
                                                       : QPointF(event->pixelDelta());
    scrollWheel(std::fabs(delta.x()) >= std::fabs(delta.y()) ? delta.x() : delta.y());
}

void MVPopOverAvailableTracksViewController::showRelativeTo(QWidget* anchor) {
    QPoint at(0, 0);
    if (anchor != nullptr) {
        const QPoint right = anchor->mapToGlobal(QPoint(anchor->width(), anchor->height() / 2));
        at = QPoint(right.x() + 4, right.y() - height() / 2);
        if (QScreen* screen = anchor->screen()) {
            const QRect area = screen->availableGeometry();
            if (at.x() + width() > area.right()) {
                at.setX(anchor->mapToGlobal(QPoint(0, 0)).x() - width() - 4);
            }
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
            at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
        }
    }
    move(at);
    show();
    carousel_->setFocus();
}
