#include "transfer/MVExportVideoWindowController.h"

#include "views/MVFFmpeg.h"

#include "widgets/MVSpinningProgressIndicator.h"
#include "widgets/MVTextFieldSupportDrag.h"

#include "session/MVHelperMotion.h"
#include "session/ZORFileLog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <iostream>

namespace {

constexpr std::size_t kErrorLinesKept = 4;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

MVExportVideoWindowController::MVExportVideoWindowController(QWidget* window,
                                                             platform::UserDefaults& defaults)
    : QDialog(window), defaults_(defaults) {
    setWindowTitle(QStringLiteral("Export Lap Video"));
    setObjectName(QStringLiteral("MVExportVideoWindowController"));
    infoTextField_ = new QLabel(this);
    QFont bigger = infoTextField_->font();
    bigger.setBold(true);
    infoTextField_->setFont(bigger);
    auto* destinationLabel = new QLabel(QStringLiteral("Destination:"), this);
    directoryTextField_ = new MVTextFieldSupportDrag(this);
    directoryTextField_->setTag(2);
    directoryTextField_->setMinimumWidth(320);
    buttonEditDestination_ = new QPushButton(QStringLiteral("Change…"), this);
    statusTextField_ = new QLabel(this);
    statusTextField_->setWordWrap(true);
    statusTextField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    indicator_ = new MVSpinningProgressIndicator(this);
    indicator_->setFixedSize(20, 20);
    indicator_->setDisplayedWhenStopped(false);
    buttonClose_ = new QPushButton(QStringLiteral("Close"), this);
    buttonProcess_ = new QPushButton(QStringLiteral("Process"), this);
    buttonProcess_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(infoTextField_, 0, 0, 1, 3);
    grid->addWidget(destinationLabel, 1, 0);
    grid->addWidget(directoryTextField_, 1, 1);
    grid->addWidget(buttonEditDestination_, 1, 2);
    grid->addWidget(statusTextField_, 2, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(indicator_);
    buttons->addStretch();
    buttons->addWidget(buttonClose_);
    buttons->addWidget(buttonProcess_);
    grid->addLayout(buttons, 3, 0, 1, 3);

    connect(buttonEditDestination_, &QPushButton::clicked, this,
            &MVExportVideoWindowController::buttonEditPressed);
    connect(buttonProcess_, &QPushButton::clicked, this,
            &MVExportVideoWindowController::buttonProcessPressed);
    connect(buttonClose_, &QPushButton::clicked, this,
            &MVExportVideoWindowController::buttonClosePressed);
    connect(directoryTextField_, &MVTextFieldSupportDrag::locationDropped, this,
            &MVExportVideoWindowController::refreshState);

    directoryTextField_->setUrl(MVSheetSupport::defaultDestination());
    indicator_->hide();
    refreshState();
}

MVExportVideoWindowController::~MVExportVideoWindowController() {
    if (process_ != nullptr) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(5000);
        std::error_code error;
        std::filesystem::remove(running_.temporary, error);
    }
}

void MVExportVideoWindowController::setLap(MVLapPtr lap) {
    lap_ = std::move(lap);
    if (lap_) {
        infoTextField_->setText(text("Lap " + std::to_string(lap_->number()) + " - " +
                                     MVHelper::convertSecondsToTimeString(lap_->duration())));
    } else {
        infoTextField_->clear();
    }
    refreshState();
}

void MVExportVideoWindowController::showSheet() {
    refreshState();
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
}

void MVExportVideoWindowController::clearSheet() {
    hide();
}

MVVideoExportPlan MVExportVideoWindowController::currentPlan() const {
    const MVFFmpeg::Location ffmpeg = MVFFmpeg::locate(defaults_);
    const auto folder = directoryTextField_->url().value_or(std::filesystem::path());
    if (!lap_) {
        MVVideoExportPlan none;
        none.refusal = "No lap is chosen.";
        return none;
    }
    return MVVideoExportPlan::make(*lap_, folder, ffmpeg.executable, ffmpeg.problem);
}

void MVExportVideoWindowController::refreshState() {
    if (process_ != nullptr) return;
    const MVVideoExportPlan plan = currentPlan();
    buttonProcess_->setEnabled(plan.canRun());
    if (!plan.canRun()) {
        statusTextField_->setText(text(plan.refusal));
    } else if (plan.endsWithFirstFile) {
        statusTextField_->setText(QStringLiteral(
            "The lap's video runs on into a second file: the cut will end with the first file."));
    } else if (plan.outputExists) {
        statusTextField_->setText(text(plan.output.filename().string() +
                                       " exists in this folder: you will be asked before it is "
                                       "replaced."));
    } else if (plan.joinsNextFile()) {
        statusTextField_->setText(
            text("Writes " + plan.output.filename().string() + " from the lap's two video files."));
    } else {
        statusTextField_->setText(text("Writes " + plan.output.filename().string() + "."));
    }
}

void MVExportVideoWindowController::setControlsEnabled(bool enabled) {
    buttonClose_->setEnabled(enabled);
    buttonEditDestination_->setEnabled(enabled);
    buttonProcess_->setEnabled(enabled);
    directoryTextField_->setAcceptDrops(enabled);
}

void MVExportVideoWindowController::buttonEditPressed() {
    const auto current = directoryTextField_->url().value_or(MVSheetSupport::defaultDestination());
    if (const auto chosen = chooser_(this, current)) directoryTextField_->setUrl(*chosen);
    refreshState();
    ZORFileLog::writeToTextFile("ExportVideoController edit button");
}

void MVExportVideoWindowController::buttonProcessPressed() {
    if (process_ != nullptr) return;
    ZORFileLog::writeToTextFile("ExportVideoController process button");
    running_ = currentPlan();
    if (!running_.canRun()) {
        refreshState();
        return;
    }
    if (settleExistingOutput()) startProcess();
}

bool MVExportVideoWindowController::settleExistingOutput() {
    if (!running_.outputExists) return true;
    const auto keepBoth = MVVideoExportPlan::keepBothName(running_.output);
    switch (asker_(this, running_.output, keepBoth)) {
        case ExistingFileAnswer::Replace:
            running_.replaceExisting = true;
            return true;
        case ExistingFileAnswer::KeepBoth:
            running_.setOutput(keepBoth);
            return true;
        case ExistingFileAnswer::Cancel:
            break;
    }
    statusTextField_->setText(
        text("Nothing was exported: " + running_.output.filename().string() + " is kept."));
    return false;
}

void MVExportVideoWindowController::startProcess() {
    streamRefused_ = false;
    lastErrorLines_.clear();
    partialErrorLine_.clear();
    indicator_->show();
    indicator_->startAnimation();
    setControlsEnabled(false);
    statusTextField_->setText(text("Cutting " + running_.output.filename().string() + "…"));

    process_ = new QProcess(this);
    QStringList arguments;
    for (const std::string& argument : running_.arguments) arguments << text(argument);
    process_->setProgram(text(running_.executable.string()));
    process_->setArguments(arguments);
    if (running_.joinList.empty()) {
        process_->setStandardInputFile(QProcess::nullDevice());
    } else {
        // The list of the files to join goes to ffmpeg's standard input, which then ends.
        const QByteArray list = QByteArray::fromStdString(running_.joinList);
        QProcess* child = process_;
        connect(process_, &QProcess::started, this, [child, list] {
            child->write(list);
            child->closeWriteChannel();
        });
    }
    connect(process_, &QProcess::readyReadStandardOutput, this,
            [this] { readOutput(QProcess::StandardOutput); });
    connect(process_, &QProcess::readyReadStandardError, this,
            [this] { readOutput(QProcess::StandardError); });
    connect(process_, &QProcess::finished, this,
            [this](int code, QProcess::ExitStatus status) { processEnded(true, code, status); });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) processEnded(false, -1, QProcess::CrashExit);
    });
    timedOut_ = false;
    QProcess* child = process_;
    QTimer::singleShot(timeLimitMs_, child, [this, child] {
        if (process_ != child) return;
        timedOut_ = true;
        child->kill();
    });
    process_->start();
}

void MVExportVideoWindowController::readOutput(QProcess::ProcessChannel channel) {
    if (process_ == nullptr) return;
    process_->setReadChannel(channel);
    const QByteArray bytes = process_->readAll();
    const std::string chunk(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (channel == QProcess::StandardOutput) {
        std::cout << chunk << std::flush;
        return;
    }
    std::cerr << chunk << std::flush;
    // Keep the last few lines (ffmpeg ends progress lines with a carriage return).
    for (char c : chunk) {
        if (c != '\n' && c != '\r') {
            if (partialErrorLine_.size() < 4096) partialErrorLine_ += c;
            continue;
        }
        if (partialErrorLine_.empty()) continue;
        if (MVVideoExportPlan::refusesCopiedStream(partialErrorLine_)) streamRefused_ = true;
        lastErrorLines_.push_back(std::move(partialErrorLine_));
        partialErrorLine_.clear();
        if (lastErrorLines_.size() > kErrorLinesKept) lastErrorLines_.pop_front();
    }
}

void MVExportVideoWindowController::processEnded(bool started, int exitCode,
                                                 QProcess::ExitStatus status) {
    if (process_ == nullptr) return;
    if (started) {
        readOutput(QProcess::StandardOutput);
        readOutput(QProcess::StandardError);
    }
    if (!partialErrorLine_.empty()) {
        if (MVVideoExportPlan::refusesCopiedStream(partialErrorLine_)) streamRefused_ = true;
        lastErrorLines_.push_back(partialErrorLine_);
    }
    process_->deleteLater();
    process_ = nullptr;
    std::cout << "ffmpeg exit status " << exitCode << "\nDONE" << std::endl;

    std::error_code error;
    const bool succeeded = started && status == QProcess::NormalExit && exitCode == 0 &&
                           std::filesystem::is_regular_file(running_.temporary, error);
    std::string renameError;
    if (succeeded) {
        renameError = running_.placeCut();
        if (renameError.empty()) {
            std::string done = "Saved " + running_.output.filename().string() + " in " +
                               running_.output.parent_path().string() + ".";
            if (running_.endsWithFirstFile) {
                done +=
                    " The lap's video runs on into a second file: the cut ends with the "
                    "first file.";
            }
            finish(true, text(done));
            return;
        }
    }
    std::filesystem::remove(running_.temporary, error);
    if (started && !succeeded && !timedOut_ && running_.copySound && streamRefused_) {
        // The container takes this sound only encoded: the same cut once more, sound as AAC.
        running_.copySound = false;
        running_.setOutput(running_.output);
        startProcess();
        return;
    }
    std::string failure;
    if (!renameError.empty()) {
        failure = "The cut could not be named " + running_.output.filename().string() + ": " +
                  renameError;
    } else if (!started) {
        failure = "ffmpeg could not be started (" + running_.executable.string() + ").";
    } else if (timedOut_) {
        failure = "The cut took longer than " + std::to_string(timeLimitMs_ / 60000) +
                  " minutes and was stopped.";
    } else if (status != QProcess::NormalExit) {
        failure = "The cut failed: ffmpeg ended abnormally.";
    } else {
        failure = "The cut failed (ffmpeg exit status " + std::to_string(exitCode) + ").";
    }
    for (const std::string& line : lastErrorLines_) failure += "\n" + line;
    finish(false, text(failure));
}

void MVExportVideoWindowController::finish(bool succeeded, const QString& message) {
    indicator_->stopAnimation();
    indicator_->hide();
    setControlsEnabled(true);
    refreshState();
    statusTextField_->setText(message);
    emit exportFinished(succeeded);
}

void MVExportVideoWindowController::buttonClosePressed() {
    clearSheet();
    ZORFileLog::writeToTextFile("ExportVideoController close button");
}
