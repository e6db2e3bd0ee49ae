#include "transfer/MVFileTransferWizardWindowController.h"

#include "transfer/core/MVCardImportNames.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/ZORFileLog.h"

#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(500);

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

}  // namespace

MVFileTransferWizardWindowController::MVFileTransferWizardWindowController(
    QWidget* window, std::shared_ptr<const MVRemovableVolumes::Lister> lister,
    platform::UserDefaults& defaults)
    : QDialog(window), lister_(std::move(lister)), defaults_(defaults) {
    setWindowTitle(QStringLiteral("Import from Card"));
    setObjectName(QStringLiteral("MVFileTransferWizardWindowController"));
    buildSubviews();
    opener_ = [](const fs::path& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(text(folder.string())));
    };
    sourceChangedToken_ = platform::NotificationCenter::defaultCenter().addObserver(
        MVSourceURLChanged, nullptr, [this](const platform::Notification&) {
            const auto dropped = sourceTextField_->url();
            chosenSource_ = dropped ? ChosenSource::of(*dropped) : std::nullopt;
            findFirstGLDFileAndUpdateDirectoryTextField(dropped);
        });
    setUpDestination();
    setUpSDVolumes();
    subViewsEnable(true);
    watchMounts();
}

MVFileTransferWizardWindowController::~MVFileTransferWizardWindowController() {
    *alive_ = false;
    placeNameToken_ = {};
    queue_.cancelAllOperations();
    timer_.cancel();
    transfer_.abort();
    if (mountFd_ >= 0) ::close(mountFd_);
}

void MVFileTransferWizardWindowController::buildSubviews() {
    auto* intro = new QLabel(QStringLiteral("Copy or move the recordings of a memory card into a "
                                            "dated folder of your session library."),
                             this);
    intro->setWordWrap(true);
    sourceTextField_ = new MVTextFieldSupportDrag(this);
    sourceTextField_->setTag(MVTextFieldSupportDrag::kSourceFolderTag);
    sourceTextField_->setMinimumWidth(360);
    destinationTextField_ = new MVTextFieldSupportDrag(this);
    destinationTextField_->setTag(MVTextFieldSupportDrag::kDestinationFolderTag);
    destinationTextField_->setDefaults(defaults_);
    directoryTextField_ = new QLineEdit(this);
    sessionTextField_ = new QLineEdit(QStringLiteral("Session"), this);
    buttonEditSource_ = new QPushButton(QStringLiteral("Change…"), this);
    buttonEditDestination_ = new QPushButton(QStringLiteral("Change…"), this);
    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    percentageTextField_ = new QLabel(QStringLiteral("0%"), this);
    percentageTextField_->setMinimumWidth(40);
    messageTextField_ = new QLabel(this);
    messageTextField_->setWordWrap(true);
    buttonAbort_ = new QPushButton(QStringLiteral("Abort"), this);
    buttonClose_ = new QPushButton(QStringLiteral("Close"), this);
    buttonMove_ = new QPushButton(QStringLiteral("Move"), this);
    buttonCopy_ = new QPushButton(QStringLiteral("Copy"), this);
    buttonCopy_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(intro, 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Source:"), this), 1, 0);
    grid->addWidget(sourceTextField_, 1, 1);
    grid->addWidget(buttonEditSource_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Destination:"), this), 2, 0);
    grid->addWidget(destinationTextField_, 2, 1);
    grid->addWidget(buttonEditDestination_, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Folder:"), this), 3, 0);
    grid->addWidget(directoryTextField_, 3, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Session:"), this), 4, 0);
    grid->addWidget(sessionTextField_, 4, 1, 1, 2);
    auto* progress = new QHBoxLayout;
    progress->addWidget(progressBar_, 1);
    progress->addWidget(percentageTextField_);
    grid->addLayout(progress, 5, 0, 1, 3);
    grid->addWidget(messageTextField_, 6, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(buttonAbort_);
    buttons->addStretch();
    buttons->addWidget(buttonClose_);
    buttons->addWidget(buttonMove_);
    buttons->addWidget(buttonCopy_);
    grid->addLayout(buttons, 7, 0, 1, 3);

    using W = MVFileTransferWizardWindowController;
    connect(buttonCopy_, &QPushButton::clicked, this, &W::buttonCopyPressed);
    connect(buttonMove_, &QPushButton::clicked, this, &W::buttonMovePressed);
    connect(buttonAbort_, &QPushButton::clicked, this, &W::buttonAbortPressed);
    connect(buttonClose_, &QPushButton::clicked, this, &W::buttonClosePressed);
    connect(buttonEditSource_, &QPushButton::clicked, this, &W::buttonEditScourcePressed);
    // Copy and Move wait for a card (or a folder) to copy from.
    connect(sourceTextField_, &QLineEdit::textChanged, this, &W::enableTransferButtons);
    connect(buttonEditDestination_, &QPushButton::clicked, this, &W::buttonEditDestinationPressed);
}

void MVFileTransferWizardWindowController::watchMounts() {
    const fs::path file = lister_->mountChangeFile();
    if (file.empty()) return;
    mountFd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (mountFd_ < 0) return;
    // The mount table signals a change as an exceptional condition (POLLPRI).
    mountNotifier_ = new QSocketNotifier(mountFd_, QSocketNotifier::Exception, this);
    connect(mountNotifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[4096];
        ::lseek(mountFd_, 0, SEEK_SET);
        while (::read(mountFd_, buffer, sizeof buffer) > 0) {
        }
        setUpSDVolumes();
    });
}

void MVFileTransferWizardWindowController::showSheet() {
    isPresented_ = true;
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
}

void MVFileTransferWizardWindowController::clearSheet() {
    isPresented_ = false;
    hide();
}

void MVFileTransferWizardWindowController::setUpDestination() {
    if (auto stored = defaults_.stringForKey(MVHelper::Default_DestinationFolder());
        stored && !stored->empty()) {
        destinationTextField_->setUrl(fs::path(*stored));
        return;
    }
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty()) name = QStringLiteral("Gridlark");
    const fs::path folder = platform::folders::home() / "Documents" / name.toStdString();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        std::cerr << "Error: Create folder failed " << folder.string() << '\n';
        subViewsEnable(true);
    }
    destinationTextField_->setUrl(folder);
    defaults_.setString(MVHelper::Default_DestinationFolder(), folder.string());
    defaults_.synchronize();
}

void MVFileTransferWizardWindowController::setUpSDVolumes() {
    // A source the user chose stays while its volume is mounted; the mount table changes for
    // many reasons (another disk, a network share).
    if (chosenSource_ && chosenSource_->stillMounted()) return;
    chosenSource_.reset();
    auto source = MVCardImportNames::sourceFolderOnVolumes(lister_->removableVolumes());
    if (source != sourceTextField_->url()) messageTextField_->clear();  // it spoke of another run
    sourceTextField_->setUrl(source);
    findFirstGLDFileAndUpdateDirectoryTextField(source);
}

std::optional<MVFileTransferWizardWindowController::ChosenSource>
MVFileTransferWizardWindowController::ChosenSource::of(const fs::path& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) return std::nullopt;
    return ChosenSource{folder, status.st_dev};
}

bool MVFileTransferWizardWindowController::ChosenSource::stillMounted() const {
    // Unmounted, the path is gone or lies on the file system below (another device).
    struct stat status {};
    return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_dev == device;
}

void MVFileTransferWizardWindowController::findFirstGLDFileAndUpdateDirectoryTextField(
    const std::optional<fs::path>& url) {
    // Whatever an earlier parse finds no longer names the folder.
    placeNameToken_ = {};
    if (operation_) operation_->cancel();
    queue_.cancelAllOperations();
    operation_.reset();
    directoryTextField_->setText(
        text(MVCardImportNames::dateText(platform::Clock::wallClockNow())));
    if (!url) return;
    auto file = MVCardImportNames::firstSessionFile(*url);
    if (!file) return;
    operation_ = std::make_shared<MVGLDFileManagerFastOperation>(*file);
    const MVGLDFileManagerFastOperation* op = operation_.get();
    std::weak_ptr<bool> alive = alive_;
    placeNameToken_ = operation_->observePlaceName(
        [this, op, alive](const std::string&, const std::string& place) {
            platform::mainQueue().async([this, op, alive, place] {
                if (auto living = alive.lock(); living && *living) placeNameArrived(op, place);
            });
        });
    queue_.addOperation(operation_);
}

void MVFileTransferWizardWindowController::placeNameArrived(
    const MVGLDFileManagerFastOperation* operation, const std::string& place) {
    if (operation != operation_.get() || operation_->isCancelled() || place.empty()) return;
    // The name as the folder will be made ("N/A" becomes "N_A"), so the field shows what appears.
    const auto part = MVCardImportNames::safePathPart(place);
    if (!part) return;
    directoryTextField_->setText(directoryTextField_->text() + QLatin1Char(' ') + text(*part));
}

void MVFileTransferWizardWindowController::subViewsEnable(bool enabled) {
    for (QWidget* widget :
         {static_cast<QWidget*>(directoryTextField_), static_cast<QWidget*>(sessionTextField_),
          static_cast<QWidget*>(buttonCopy_), static_cast<QWidget*>(buttonMove_),
          static_cast<QWidget*>(buttonEditSource_),
          static_cast<QWidget*>(buttonEditDestination_)}) {
        widget->setEnabled(enabled);
    }
    buttonAbort_->setEnabled(!enabled);
    enableTransferButtons();
    if (enabled) {
        timer_.cancel();
        progressBar_->setValue(0);
        percentageTextField_->setText(QStringLiteral("0%"));
        buttonClose_->setText(QStringLiteral("Close"));
        return;
    }
    buttonClose_->setText(QStringLiteral("Run in background"));
    std::weak_ptr<bool> alive = alive_;
    timer_.start(kProgressInterval, true, platform::mainQueue(), [this, alive] {
        if (auto living = alive.lock(); living && *living) updateProgressBar();
    });
}

void MVFileTransferWizardWindowController::enableTransferButtons() {
    // While a run goes on (Abort enabled) both stay disabled.
    const bool ready = !buttonAbort_->isEnabled() && sourceTextField_->url().has_value();
    buttonCopy_->setEnabled(ready);
    buttonMove_->setEnabled(ready);
}

void MVFileTransferWizardWindowController::updateProgressBar() {
    const double size = static_cast<double>(folderSizeForURL(finalDestinationURL_));
    if (size <= 0 || originalSize_ <= 0) return;
    // Only the size: the run itself says when it is done, so the bar stops short of 100 until then.
    const double percent = std::clamp(size * 100.0 / originalSize_, 0.0, 99.0);
    progressBar_->setValue(static_cast<int>(percent));
    percentageTextField_->setText(QString::asprintf("%3.0f%%", percent));
}

void MVFileTransferWizardWindowController::buttonCopyPressed() {
    startTransfer(MVFolderTransfer::Mode::Copy);
    ZORFileLog::writeToTextFile("FileTransferWizardController copy button");
}

void MVFileTransferWizardWindowController::buttonMovePressed() {
    startTransfer(MVFolderTransfer::Mode::Move);
    ZORFileLog::writeToTextFile("FileTransferWizardController move button");
}

void MVFileTransferWizardWindowController::startTransfer(MVFolderTransfer::Mode mode) {
    const auto source = sourceTextField_->url();
    const auto destination = destinationTextField_->url();
    const std::string directory = directoryTextField_->text().toStdString();
    const std::string session = sessionTextField_->text().toStdString();
    if (!source) {
        messageTextField_->setText(QStringLiteral("Choose the card first."));
        return;
    }
    if (!destination || directory.empty() || session.empty()) return;
    if (transfer_.status() == MVFolderTransfer::Status::Running) return;
    messageTextField_->clear();
    auto final = MVCardImportNames::finalFolder(*destination, directory, session);
    if (!final) {
        messageTextField_->setText(
            QStringLiteral("The folder or session name cannot be used: choose a name that is not "
                           "\".\" or \"..\"."));
        MVSheetSupport::growToFit(this);
        return;
    }
    transfer_.wait();  // a finished run's thread
    const std::uint64_t run = ++run_;
    std::weak_ptr<bool> alive = alive_;
    std::string refusal;
    const bool started = transfer_.start(
        mode, *source, *final,
        [this, alive, run](const MVFolderTransfer::Result& result) {
            platform::mainQueue().async([this, alive, run, result] {
                if (auto living = alive.lock(); living && *living) transferFinished(run, result);
            });
        },
        &refusal);
    if (!started) {
        messageTextField_->setText(text(refusal) + QStringLiteral(" Nothing was copied."));
        MVSheetSupport::growToFit(this);
        return;
    }
    mode_ = mode;
    finalDestinationURL_ = *final;
    originalSize_ = static_cast<double>(folderSizeForURL(*source));
    subViewsEnable(false);
}

void MVFileTransferWizardWindowController::transferFinished(
    std::uint64_t run, const MVFolderTransfer::Result& result) {
    if (run != run_) return;  // an aborted or earlier run
    transfer_.wait();
    if (result.status == MVFolderTransfer::Status::CopiedSourceKept) {
        sourcesKept(result);
        return;
    }
    if (result.status == MVFolderTransfer::Status::Succeeded) {
        progressBar_->setValue(100);
        percentageTextField_->setText(QStringLiteral("100%"));
        timer_.cancel();
        if (opener_) opener_(finalDestinationURL_);
        subViewsEnable(true);
        clearSheet();
        return;
    }
    std::cerr << (mode_ == MVFolderTransfer::Mode::Move ? "buttonMovePressed" : "buttonCopyPressed")
              << " anError: " << result.error << '\n';
    subViewsEnable(true);
    messageTextField_->setText(text(result.error + ". Nothing was lost: what this run copied was "
                                                   "removed and the source is as it was."));
    MVSheetSupport::growToFit(this);
    showCopyOrMoveAlert(result);
}

void MVFileTransferWizardWindowController::sourcesKept(const MVFolderTransfer::Result& result) {
    // Everything arrived, but the card still holds recordings: the sheet stays and says so, so
    // that nobody takes the card for empty (the next import would copy them again).
    const std::size_t count = result.notRemoved.size();
    std::cerr << "buttonMovePressed anError: " << count << " files could not be removed from "
              << sourceTextField_->url().value_or(fs::path()).string() << ": " << result.error
              << '\n';
    ZORFileLog::writeToTextFile("FileTransferWizardController move copied everything to " +
                                finalDestinationURL_.string() + " but could not remove " +
                                std::to_string(count) + " files from the card");
    for (const auto& left : result.notRemoved) {
        ZORFileLog::writeToTextFile(
            "FileTransferWizardController not removed: " + left.file.string() + ": " + left.reason);
    }
    subViewsEnable(true);
    progressBar_->setValue(100);
    percentageTextField_->setText(QStringLiteral("100%"));
    if (!isPresented_) showSheet();  // sent to the background meanwhile: this must be seen
    const QString files =
        count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
    messageTextField_->setText(
        QStringLiteral("All files were copied to \u201C%1\u201D, but %2 could not be removed "
                       "from the card (%3). They are still on the card: remove them there "
                       "before the next import, or they will be copied again.")
            .arg(text(finalDestinationURL_.string()), files, text(result.error)));
    MVSheetSupport::growToFit(this);
}

void MVFileTransferWizardWindowController::showCopyOrMoveAlert(
    const MVFolderTransfer::Result& result) {
    // Hidden files and permissions are the advice only where nothing better is known: a full
    // disk, a card that went away and a copy that could not be flushed are said as such.
    const int systemError = result.systemError;
    const QString reason = text(std::strerror(systemError));
    QString advice = QStringLiteral(
        "Please ensure there are no hidden files and you have permission to access files within "
        "the source folder.");
    if (systemError == ENOSPC || systemError == EDQUOT) {
        advice = QStringLiteral(
                     "The destination has no room for the recordings (%1). Nothing "
                     "was lost: what was copied was removed and the source is as it "
                     "was. Make room there, or choose another destination.")
                     .arg(reason);
    } else if (result.sourceGone) {
        advice = QStringLiteral(
                     "The card went away during the copy (%1): it was pulled out, or it can no "
                     "longer be read. Nothing was deleted from it, and what this run had copied "
                     "was removed again. Put the card back and start again.")
                     .arg(reason);
    } else if (result.notFlushed) {
        advice = QStringLiteral(
                     "The copies could not be flushed to the destination's disk (%1), so the "
                     "recordings were not removed from the card. Nothing was lost: what was "
                     "copied was removed and the source is as it was.")
                     .arg(reason);
    }
    alert_(this, QStringLiteral("Couldn't complete the operation."), advice);
}

void MVFileTransferWizardWindowController::buttonAbortPressed() {
    ++run_;  // a completion already on its way is ignored
    transfer_.abort();
    subViewsEnable(true);
    if (transfer_.status() == MVFolderTransfer::Status::Aborted) {
        messageTextField_->setText(QStringLiteral("Aborted: nothing of this run was kept."));
    }
    ZORFileLog::writeToTextFile("FileTransferWizardController abort button");
}

void MVFileTransferWizardWindowController::buttonClosePressed() {
    clearSheet();
    ZORFileLog::writeToTextFile("FileTransferWizardController close button");
}

void MVFileTransferWizardWindowController::buttonEditScourcePressed() {
    const auto current = sourceTextField_->url().value_or(platform::folders::home());
    if (const auto chosen = chooser_(this, current)) {
        sourceTextField_->setUrl(*chosen);
        chosenSource_ = ChosenSource::of(*chosen);
        messageTextField_->clear();
        findFirstGLDFileAndUpdateDirectoryTextField(*chosen);
    }
    ZORFileLog::writeToTextFile("FileTransferWizardController edit source button");
}

void MVFileTransferWizardWindowController::buttonEditDestinationPressed() {
    const auto current = destinationTextField_->url().value_or(platform::folders::home());
    if (const auto chosen = chooser_(this, current)) {
        destinationTextField_->setUrl(*chosen);
        defaults_.setString(MVHelper::Default_DestinationFolder(), chosen->string());
        defaults_.synchronize();
    }
    ZORFileLog::writeToTextFile("FileTransferWizardController edit destination button");
}
