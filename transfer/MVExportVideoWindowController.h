#pragma once

#include "transfer/MVSheetSupport.h"
#include "transfer/core/MVVideoExportPlan.h"

#include "session/MVLap.h"

#include "platform/UserDefaults.h"

#include <QDialog>
#include <QProcess>

#include <deque>
#include <functional>
#include <string>

class MVSpinningProgressIndicator;
class MVTextFieldSupportDrag;
class QLabel;
class QPushButton;

// The sheet that cuts one lap out of its session's video, with three seconds of lead-in and
// run-out, into "Lap <n>.<ext>" in a chosen folder, without re-encoding (ffmpeg, found by
// MVFFmpeg, run with an argument vector); a lap that runs on into the camera's next file is cut
// from both files joined (the list of them goes to ffmpeg's standard input). The video pane makes
// one per export button press, sets the lap (the faster of two selected laps) and shows it.
//
// ffmpeg runs without blocking the window: its output is read as it comes and goes to the
// console; Close, Change and Process stay disabled and the spinner turns until it has ended. It
// writes to a temporary file that takes the final name only on exit status 0; the sheet then says
// where the cut is, or that it failed with ffmpeg's last error lines. When a file of the cut's name
// is in the folder already, Process first asks: Replace, Keep Both (the cut is saved as
// "Lap <n> (2).<ext>", or the next free number) or Cancel (nothing runs); without Replace no file
// is ever replaced, also not one that appears while ffmpeg runs. Sound is copied; when ffmpeg
// says the container cannot take it as it is, the cut runs once more with the sound as AAC. A lap
// without video, a missing video file, a missing ffmpeg or a cut that would overwrite its own input
// disables Process with a line saying why. A cut that has not ended after kTimeLimit (stream copy
// of one lap takes seconds) is stopped and reported as failed. Main thread only.
class MVExportVideoWindowController : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTimeLimitMs = 10 * 60 * 1000;

    // The question before a cut takes the name of a file that is there (the one every export
    // asks, MVSheetSupport).
    using ExistingFileAnswer = MVSheetSupport::ExistingFileAnswer;
    using ExistingFileAsker = MVSheetSupport::ExistingFileAsker;

    explicit MVExportVideoWindowController(
        QWidget* window, platform::UserDefaults& defaults = platform::UserDefaults::standard());
    ~MVExportVideoWindowController() override;

    const MVLapPtr& lap() const { return lap_; }
    void setLap(MVLapPtr lap);

    void showSheet();
    void clearSheet();
    bool isExporting() const { return process_ != nullptr; }

    MVTextFieldSupportDrag* directoryTextField() const { return directoryTextField_; }
    QLabel* infoTextField() const { return infoTextField_; }
    MVSpinningProgressIndicator* indicator() const { return indicator_; }
    QPushButton* buttonClose() const { return buttonClose_; }
    QPushButton* buttonEditDestination() const { return buttonEditDestination_; }
    QPushButton* buttonProcess() const { return buttonProcess_; }

    // The plan for the current lap, folder and ffmpeg.
    MVVideoExportPlan currentPlan() const;
    void setFolderChooser(MVSheetSupport::FolderChooser chooser) { chooser_ = std::move(chooser); }
    void setExistingFileAsker(ExistingFileAsker asker) { asker_ = std::move(asker); }

    // For tests:
    QLabel* statusTextField() const { return statusTextField_; }
    void setTimeLimit(int milliseconds) { timeLimitMs_ = milliseconds; }

  public slots:
    void buttonEditPressed();
    void buttonProcessPressed();
    void buttonClosePressed();

  signals:
    // The child has ended and the controls are back; `succeeded` says whether the cut is there.
    void exportFinished(bool succeeded);

  private:
    void refreshState();
    void setControlsEnabled(bool enabled);
    void readOutput(QProcess::ProcessChannel channel);
    void processEnded(bool started, int exitCode, QProcess::ExitStatus status);
    bool settleExistingOutput();
    void startProcess();
    std::string placeCut();
    void finish(bool succeeded, const QString& text);

    platform::UserDefaults& defaults_;
    MVLapPtr lap_;
    QProcess* process_ = nullptr;
    MVVideoExportPlan running_;
    std::deque<std::string> lastErrorLines_;
    std::string partialErrorLine_;
    int timeLimitMs_ = kTimeLimitMs;
    bool timedOut_ = false;
    bool streamRefused_ = false;  // ffmpeg said the container cannot take a copied stream
    MVTextFieldSupportDrag* directoryTextField_;
    QLabel* infoTextField_;
    QLabel* statusTextField_;
    MVSpinningProgressIndicator* indicator_;
    QPushButton* buttonClose_;
    QPushButton* buttonEditDestination_;
    QPushButton* buttonProcess_;
    MVSheetSupport::FolderChooser chooser_ = &MVSheetSupport::chooseFolder;
    ExistingFileAsker asker_ = MVSheetSupport::existingFileAsker(QStringLiteral("cut"));
};
