#include "transfer/MVFileWizardView.h"

#include "views/MVFileWizardVideoView.h"

#include "widgets/MVProgressHUD.h"

#include "session/MVHelperMotion.h"
#include "session/MVNotifications.h"
#include "session/MVSessionFileRename.h"

#include "platform/NotificationCenter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace {

constexpr auto kSelectionDelay = std::chrono::milliseconds(500);
// The picture's least size (a 4:3 frame); it grows with the preview, keeping its aspect ratio.
constexpr int kVideoWidth = 320;
constexpr int kVideoHeight = 240;
constexpr int kCaptionWidth = 100;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

}  // namespace

MVFileWizardView::MVFileWizardView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MVFileWizardView"));
    auto& center = platform::NotificationCenter::defaultCenter();
    selectedToken_ = center.addObserver(MVFileSelected, nullptr, [this](const auto& note) {
        if (const auto* path = note.template value<fs::path>("url")) selectionChanged(*path);
    });
    // Any sender: the operation posts itself as the object, and only our own counts.
    std::weak_ptr<bool> alive = alive_;
    finishedToken_ = center.addObserver(
        GLDParsingFastDidFinish, nullptr, [this, alive](const platform::Notification& note) {
            const auto* operation = static_cast<const MVGLDFileManagerFastOperation*>(note.object);
            platform::mainQueue().async([this, alive, operation] {
                if (auto living = alive.lock(); living && *living) parseFinished(operation);
            });
        });
    initSubViews();
    hideSubviews();
}

MVFileWizardView::~MVFileWizardView() {
    *alive_ = false;
    delay_.cancel();
    selectedToken_ = {};
    finishedToken_ = {};
    queue_.cancelAllOperations();
    queue_.waitUntilAllOperationsAreFinished(std::chrono::seconds(30));
}

void MVFileWizardView::initSubViews() {
    videoView_ = new MVFileWizardVideoView(this);
    videoView_->setMinimumSize(kVideoWidth, kVideoHeight);
    videoView_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    fileNameTextField_ = new QLineEdit(this);
    fileNameTextField_->setStyleSheet(QStringLiteral("background: white; color: black;"));
    renameButton_ = new QPushButton(QStringLiteral("Rename"), this);
    renameMessage_ = new QLabel(this);
    renameMessage_->setWordWrap(true);
    renameMessage_->setStyleSheet(QStringLiteral("color: #b00000;"));
    connect(renameButton_, &QPushButton::clicked, this, &MVFileWizardView::buttonPressed);
    connect(fileNameTextField_, &QLineEdit::textEdited, renameMessage_, &QLabel::clear);

    auto* texts = new QGridLayout;
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(fileNameTextField_, 1);
    nameRow->addWidget(renameButton_);
    texts->addLayout(nameRow, 0, 0, 1, 2);
    texts->addWidget(renameMessage_, 1, 0, 1, 2);
    subviews_ = {videoView_, fileNameTextField_, renameButton_, renameMessage_};
    int row = 2;
    for (auto [caption, value] :
         {std::pair{"Length", &lengthValue_}, std::pair{"Laps", &lapsValue_},
          std::pair{"Best", &bestLapValue_}, std::pair{"Circuit", &circuitValue_}}) {
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        label->setFixedWidth(kCaptionWidth);
        *value = new QLabel(this);
        (*value)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(label, row, 0, Qt::AlignLeft);
        texts->addWidget(*value, row, 1, Qt::AlignLeft);
        subviews_.push_back(label);
        subviews_.push_back(*value);
        ++row;
    }
    texts->setColumnStretch(1, 1);
    // The picture above the texts: the preview stands beside the panel's file list.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(videoView_, 1);
    layout->addLayout(texts, 0);
}

void MVFileWizardView::showSubviews() {
    for (QWidget* view : subviews_) view->setVisible(true);
}

void MVFileWizardView::hideSubviews() {
    for (QWidget* view : subviews_) view->setVisible(false);
}

void MVFileWizardView::selectionChanged(const fs::path& url) {
    url_ = url;
    std::weak_ptr<bool> alive = alive_;
    delay_.cancel();
    delay_.start(kSelectionDelay, false, platform::mainQueue(), [this, alive] {
        if (auto living = alive.lock(); living && *living) processingGLD();
    });
}

void MVFileWizardView::processingGLD() {
    hideSubviews();
    MVProgressHUD::hideHUDForView(this, false);
    MVProgressHUD::showHUDAddedTo(this, true);
    queue_.cancelAllOperations();
    if (operation_) operation_->cancel();
    operation_ = std::make_shared<MVGLDFileManagerFastOperation>(url_);
    ++parsesStarted_;
    queue_.addOperation(operation_);
}

void MVFileWizardView::parseFinished(const MVGLDFileManagerFastOperation* operation) {
    if (!operation_ || operation != operation_.get() || operation_->isCancelled()) return;
    auto videos = operation_->arrayOfVideoURLs();
    hasVideos_ = videos.has_value();
    arrayOfVideos_ = videos.value_or(std::vector<fs::path>{});
    wholeDuration_ = operation_->wholeDuration();
    const MVLapsPtr laps = operation_->laps();
    if (laps && !laps->data().empty()) {
        fastestLapDuration_ = laps->findFastestLap()->duration();
        numberOfLaps_ = static_cast<std::int64_t>(laps->data().back()->number());
    } else {
        fastestLapDuration_ = 0;
        numberOfLaps_ = 0;
    }
    circuit_ = operation_->placeName();
    updateSubViews();
    showSubviews();
    MVProgressHUD::hideHUDForView(this, true);
}

void MVFileWizardView::updateSubViews() {
    videoView_->clear();
    if (hasVideos_) videoView_->updateWithURLs(arrayOfVideos_);
    fileNameTextField_->setText(text(url_.stem().string()));
    renameMessage_->clear();
    lengthValue_->setText(text(MVHelper::convertSecondsToTimeString(wholeDuration_)));
    bestLapValue_->setText(text(MVHelper::convertSecondsToTimeString(fastestLapDuration_)));
    lapsValue_->setText(QString::number(numberOfLaps_));
    circuitValue_->setText(text(circuit_));
}

void MVFileWizardView::buttonPressed() {
    if (!operation_ || !operation_->isFinished()) return;
    const std::string name = fileNameTextField_->text().toStdString();
    const auto videos = operation_->arrayOfVideoURLs().value_or(std::vector<fs::path>{});
    const auto plan = MVSessionFileRename::prepare(name, operation_->url(), videos);
    if (plan.status != MVSessionFileRename::Status::Renamed &&
        plan.status != MVSessionFileRename::Status::Unchanged) {
        renameMessage_->setText(text(plan.message));
        return;
    }
    const fs::path before = operation_->url();
    operation_->changeFileName(name);
    if (plan.status == MVSessionFileRename::Status::Renamed && operation_->url() == before) {
        renameMessage_->setText(QStringLiteral("The session could not be renamed."));
        return;
    }
    renameMessage_->clear();
    url_ = operation_->url();
    if (auto moved = operation_->arrayOfVideoURLs()) arrayOfVideos_ = *moved;
    fileNameTextField_->setText(text(url_.stem().string()));
}
