#pragma once

#include "views/MVThumbnailInfo.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"
#include "platform/UserDefaults.h"

#include <QImage>
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <vector>

class QProcess;

// A finished frame: the image and its slot number.
struct MVThumbnailImageAndIndex {
    QImage image;
    std::int64_t index = -1;
};

// Turns thumbnail slots into 160 x 100 frames by running ffmpeg (found by MVFFmpeg: the
// "FFmpegPath" setting, else PATH) once per frame, and publishes each finished frame as
// `arrayOfImageAndIndex`.
//
// Each request (startGeneratingThumnailsAtStartIndex) gets an output folder of its own under the
// thumbnails folder; a new request, a new slot list or cancel kills the running processes of the
// previous one, drops their results and removes its folder, so a frame of an old request never
// shows up in a newer one. At most 3 processes run at once; the rest wait their turn. A slot
// whose video file is missing, a failed run, or an output that is not a readable image gives no
// frame and nothing else. Without ffmpeg nothing is run and one line goes to the diagnostic log.
//
// Main thread only (the processes are watched through the Qt event loop).
class MVThumbnailsGenerator : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxRunning = 3;

    // `folder`: where the frames are written (default: this process's own thumbnail folder,
    // MVThumbnailFolder); only request folders inside it are ever removed.
    explicit MVThumbnailsGenerator(
        const platform::UserDefaults& defaults = platform::UserDefaults::standard(),
        std::optional<std::filesystem::path> folder = std::nullopt, QObject* parent = nullptr);
    ~MVThumbnailsGenerator() override;

    // Cancels the current request, then keeps the list.
    void setInfos(std::vector<MVThumbnailInfo> infos);
    const std::vector<MVThumbnailInfo>& infos() const { return infos_; }
    // Cancels the current request and makes one frame for each slot first..last (inclusive; last
    // is cut at the list's last slot).
    void startGeneratingThumnailsAtStartIndex(std::int64_t first, std::int64_t last);
    // Kills the running processes of the current request, forgets the waiting ones and removes
    // the request's output folder.
    void cancelGeneratingThumbnails();

    MVThumbnailImageAndIndex arrayOfImageAndIndex() const { return imageAndIndex_.get(); }
    [[nodiscard]] platform::ObserverToken observeArrayOfImageAndIndex(
        platform::Observable<MVThumbnailImageAndIndex>::Handler handler) {
        return imageAndIndex_.observe(std::move(handler));
    }

    // ffmpeg's arguments for one frame: seek to the slot's time ("%f" seconds with a decimal
    // point whatever the locale), one frame scaled to 160 x 100, written as PNG to `output`.
    static QStringList argumentsFor(const MVThumbnailInfo& info,
                                    const std::filesystem::path& output);

    const std::optional<std::filesystem::path>& ffmpegPath() const { return ffmpegPath_; }

    // For tests:
    int runningCount() const { return static_cast<int>(running_.size()); }
    int waitingCount() const { return static_cast<int>(waiting_.size()); }

  private:
    void launchWaiting();
    void launch(const MVThumbnailInfo& info);
    void processFinished(QProcess* process, std::uint64_t request, int exitCode, bool normalExit);
    void publish(const std::filesystem::path& output);

    std::optional<std::filesystem::path> ffmpegPath_;
    std::filesystem::path folder_;
    std::filesystem::path requestFolder_;
    std::uint64_t request_ = 0;
    bool reportedMissing_ = false;
    std::vector<MVThumbnailInfo> infos_;
    std::deque<MVThumbnailInfo> waiting_;
    std::vector<QProcess*> running_;
    platform::Observable<MVThumbnailImageAndIndex> imageAndIndex_;
};
