#pragma once

#include "session/MVGLDFileManagerFastOperation.h"

#include "platform/Dispatch.h"
#include "platform/ObserverToken.h"
#include "platform/OperationQueue.h"

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class MVFileWizardVideoView;
class QLabel;
class QLineEdit;
class QPushButton;

// The preview beside the open panel's file list: once the panel's selection ("MVFileSelected",
// user info "url") has been still for 0.5 s it parses the file quickly in the background and
// shows the session's first video picture and, under it, its name (editable, with Rename),
// length, number of laps, best lap and circuit. Only the completion of its own latest parse is
// taken: other quick parses (the card import runs them too) change nothing. A rename that is
// refused says why beside the name field and leaves every file as it was. Main thread only.
class MVFileWizardView : public QWidget {
    Q_OBJECT
  public:
    explicit MVFileWizardView(QWidget* parent = nullptr);
    ~MVFileWizardView() override;

    void processingGLD();
    void updateSubViews();
    void showSubviews();
    void hideSubviews();

    const std::filesystem::path& url() const { return url_; }
    const std::vector<std::filesystem::path>& arrayOfVideos() const { return arrayOfVideos_; }
    double wholeDuration() const { return wholeDuration_; }
    std::int64_t numberOfLaps() const { return numberOfLaps_; }
    double fastestLapDuration() const { return fastestLapDuration_; }
    const std::string& circuit() const { return circuit_; }
    std::shared_ptr<MVGLDFileManagerFastOperation> operation() const { return operation_; }

    MVFileWizardVideoView* videoView() const { return videoView_; }
    QLineEdit* fileNameTextField() const { return fileNameTextField_; }
    QLabel* lengthValue() const { return lengthValue_; }
    QLabel* lapsValue() const { return lapsValue_; }
    QLabel* bestLapValue() const { return bestLapValue_; }
    QLabel* circuitValue() const { return circuitValue_; }

    // For tests:
    // How many parses this view started.
    int parsesStarted() const { return parsesStarted_; }
    QLabel* renameMessage() const { return renameMessage_; }

  public slots:
    void buttonPressed();

  private:
    void initSubViews();
    void selectionChanged(const std::filesystem::path& url);
    void parseFinished(const MVGLDFileManagerFastOperation* operation);

    platform::OperationQueue queue_{"FileWizardQuickParse"};
    std::shared_ptr<MVGLDFileManagerFastOperation> operation_;
    std::filesystem::path url_;
    std::vector<std::filesystem::path> arrayOfVideos_;
    bool hasVideos_ = false;
    double wholeDuration_ = 0;
    std::int64_t numberOfLaps_ = 0;
    double fastestLapDuration_ = 0;
    std::string circuit_;
    int parsesStarted_ = 0;
    platform::Timer delay_;
    platform::ObserverToken selectedToken_;
    platform::ObserverToken finishedToken_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    MVFileWizardVideoView* videoView_;
    QLineEdit* fileNameTextField_;
    QPushButton* renameButton_;
    QLabel* renameMessage_;
    QLabel* lengthValue_;
    QLabel* lapsValue_;
    QLabel* bestLapValue_;
    QLabel* circuitValue_;
    std::vector<QWidget*> subviews_;
};
