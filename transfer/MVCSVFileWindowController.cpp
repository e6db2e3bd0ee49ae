#include "transfer/MVCSVFileWindowController.h"

#include "transfer/core/MVFilePlacement.h"

#include "widgets/MVTextFieldSupportDrag.h"

#include "session/ZORFileLog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

MVCSVFileWindowController::MVCSVFileWindowController(QWidget* window, MVGLDFileManager& manager)
    : QDialog(window), manager_(manager) {
    setWindowTitle(QStringLiteral("Export to CSV"));
    setObjectName(QStringLiteral("MVCSVFileWindowController"));
    auto* title = new QLabel(QStringLiteral("Export the lap and sector times of every loaded "
                                            "session to one CSV file."),
                             this);
    title->setWordWrap(true);
    auto* destinationLabel = new QLabel(QStringLiteral("Destination:"), this);
    destinationTextField_ = new MVTextFieldSupportDrag(this);
    destinationTextField_->setTag(2);
    destinationTextField_->setMinimumWidth(320);
    buttonEdit_ = new QPushButton(QStringLiteral("Change…"), this);
    infoTextField_ = new QLabel(this);
    infoTextField_->setWordWrap(true);
    infoTextField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    buttonClose_ = new QPushButton(QStringLiteral("Close"), this);
    buttonExport_ = new QPushButton(QStringLiteral("Export"), this);
    buttonExport_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(title, 0, 0, 1, 3);
    grid->addWidget(destinationLabel, 1, 0);
    grid->addWidget(destinationTextField_, 1, 1);
    grid->addWidget(buttonEdit_, 1, 2);
    grid->addWidget(infoTextField_, 2, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonClose_);
    buttons->addWidget(buttonExport_);
    grid->addLayout(buttons, 3, 0, 1, 3);

    connect(buttonEdit_, &QPushButton::clicked, this,
            &MVCSVFileWindowController::buttonEditDestinationPressed);
    connect(buttonExport_, &QPushButton::clicked, this, &MVCSVFileWindowController::buttonExport);
    connect(buttonClose_, &QPushButton::clicked, this,
            &MVCSVFileWindowController::buttonClosePressed);
    destinationTextField_->setUrl(getDocumentsDirectoryURL());
}

std::filesystem::path MVCSVFileWindowController::getDocumentsDirectoryURL() {
    return MVSheetSupport::defaultDestination();
}

void MVCSVFileWindowController::showSheet() {
    infoTextField_->clear();
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
}

void MVCSVFileWindowController::clearSheet() {
    hide();
}

void MVCSVFileWindowController::buttonEditDestinationPressed() {
    const auto current = destinationTextField_->url().value_or(getDocumentsDirectoryURL());
    if (const auto chosen = chooser_(this, current)) destinationTextField_->setUrl(*chosen);
    ZORFileLog::writeToTextFile("CSVController edit destination button");
}

void MVCSVFileWindowController::buttonExport() {
    ZORFileLog::writeToTextFile("CSVController export button");
    const auto folder = destinationTextField_->url().value_or(std::filesystem::path());
    const auto sessions = manager_.arrayOfMVLaps();
    bool replace = false;
    const std::string name = MVCSVFile::fileName(sessions);
    std::error_code error;
    if (!name.empty() && std::filesystem::is_directory(folder, error) &&
        MVFilePlacement::taken(folder / name)) {
        const std::filesystem::path existing = folder / name;
        switch (asker_(this, existing, MVFilePlacement::keepBothName(existing))) {
            case MVSheetSupport::ExistingFileAnswer::Replace:
                replace = true;
                break;
            case MVSheetSupport::ExistingFileAnswer::KeepBoth:
                break;  // the export never takes a name that is taken
            case MVSheetSupport::ExistingFileAnswer::Cancel:
                infoTextField_->setText(
                    QString::fromStdString("Nothing was exported: " + name + " is kept."));
                MVSheetSupport::growToFit(this);
                return;
        }
    }
    const MVCSVFile::Result result = MVCSVFile::generateLaps(sessions, folder, speedOf_, replace);
    switch (result.outcome) {
        case MVCSVFile::Outcome::Written:
            // The sheet stays, saying where the file went, as the video export sheet does.
            infoTextField_->setText(
                QString::fromStdString("Saved " + result.file.filename().string() + " in " +
                                       result.file.parent_path().string() + "."));
            MVSheetSupport::growToFit(this);
            return;
        case MVCSVFile::Outcome::NothingToExport:
            infoTextField_->setText(QStringLiteral(
                "There is nothing to export: no loaded session has laps. No file was written."));
            return;
        case MVCSVFile::Outcome::Failed:
            infoTextField_->setText(QStringLiteral("The file was not written."));
            alert_(this, QStringLiteral("The CSV file could not be written."),
                   QString::fromStdString(result.file.string() + ": " + result.error));
            return;
    }
}

void MVCSVFileWindowController::buttonClosePressed() {
    clearSheet();
    ZORFileLog::writeToTextFile("CSVController close button");
}
