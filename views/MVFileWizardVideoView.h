#pragma once

#include "views/MVVideoPlayer.h"

#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

class MVVideoSurface;

// The small video player of a session preview: given a session's video files (one, or two when
// the recording runs over into a second file) it shows the first picture of the first file,
// plays and pauses on a click, and goes on into the second file when the first has played to its
// end. No lap, no cursor. A missing first file leaves the second (if there is one) to be shown.
// The picture keeps its aspect ratio whatever the size of the preview. Main thread only.
class MVFileWizardVideoView : public QWidget {
    Q_OBJECT
  public:
    explicit MVFileWizardVideoView(QWidget* parent = nullptr);
    ~MVFileWizardVideoView() override;

    // Replaces what is shown with these files.
    void updateWithURLs(std::vector<std::filesystem::path> urls);
    const std::vector<std::filesystem::path>& URLs() const { return urls_; }
    // Stops and drops both players and takes their pictures off the preview.
    void clear();

    void play();
    void pause();
    bool isPlaying() const;

    // The file on screen: 0 or 1; -1 while nothing is shown.
    int activeFile() const;
    MVVideoPlayer* player(int file) const;
    MVVideoSurface* surface(int file) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void initSubviews();
    bool openFile(int file, const std::filesystem::path& path);
    void mediaDidFinishParsing(int file, bool ok);
    void stateChanged(int file, MVVideoPlayer::State state);
    void initVideoView(int file);
    void initPlayer(int file);
    void readyToPlayAt(int file, std::int64_t ms);
    MVVideoPlayer* activeMediaPlayer() const;

    std::vector<std::filesystem::path> urls_;
    std::array<std::unique_ptr<MVVideoPlayer>, 2> players_;
    std::array<MVVideoSurface*, 2> surfaces_{nullptr, nullptr};
    std::array<bool, 2> justInit_{false, false};
    int activeFile_ = -1;
};
