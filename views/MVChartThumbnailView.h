#pragma once

#include "views/MVPlotKit.h"
#include "views/MVThumbnailInfo.h"
#include "views/MVThumbnailsGenerator.h"

#include "platform/Dispatch.h"
#include "platform/Observable.h"
#include "platform/ObserverToken.h"
#include "platform/UserDefaults.h"

#include <QLabel>
#include <QScrollArea>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <vector>

// The strip of video frames above the sector strip: the whole reference lap at the chart's zoom
// as a document of 160-point slots (slot k at x = k x 160), of which only the visible window is
// made into frames, 0.1 s after the window last moved. The strip always shows the range the
// chart shows: its controller scrolls it. A user's scroll (the wheel, either direction) does not
// scroll it by itself: it is published as `scrollRequest`, the pixels asked for (positive to the
// right), which the controller turns into a cursor move; that works alike whether or not the
// document is wider than the strip. A move of the visible x origin by a point or more is published
// as `scrollMoveOffset`. Frames arriving after removeThumbnails, or for a slot left of the window
// that asked for them, are dropped. The window takes every slot it shows a part of, so the last,
// fractional slot of the lap is drawn cut at the document's end. When the reference lap has no
// video the strip says so in one short centred line. Main thread only.
class MVChartThumbnailView : public QScrollArea {
    Q_OBJECT
  public:
    static constexpr double kSlotWidth = 160.0;
    static constexpr std::chrono::milliseconds kGenerationDelay{100};
    static constexpr const char* kNoVideoText = "This lap has no video";

    // `defaults` and `folder` are handed to the frame generator (ffmpeg's path setting, the
    // frames' folder).
    explicit MVChartThumbnailView(
        const platform::UserDefaults& defaults = platform::UserDefaults::standard(),
        std::optional<std::filesystem::path> folder = std::nullopt, QWidget* parent = nullptr);
    ~MVChartThumbnailView() override;

    // The document's width for a visible range: the whole lap, max / length times the strip's
    // width (the strip's width when the range shows it all or is not usable).
    double documentWidthForGraphRange(const MVPlotRange& range, double max) const;
    // Sizes the document for the visible range (documentWidthForGraphRange), keeps the slots
    // and asks for the visible frames 0.1 s later.
    void updateContentViewWithGraphRange(const MVPlotRange& range, double max,
                                         std::vector<MVThumbnailInfo> infos);
    // Scrolls the document to the range's place.
    void updateSubviewsWithGraphRange(const MVPlotRange& range, double max);
    void scrollThumbnailByPoint(double x);
    // Drops every frame and stops accepting frames until the next content update.
    void removeThumbnails();
    // Width of the document (the whole lap at the current zoom).
    double getCurrentScrollViewWidth() const;
    // The centred line saying that the lap has no video, in place of frames.
    void setShowsNoVideoMessage(bool shown);
    bool showsNoVideoMessage() const;
    QLabel* noVideoLabel() const { return noVideoLabel_; }

    // The pixels of the user's last scroll; observers hear every scroll, also an equal one.
    [[nodiscard]] platform::ObserverToken observeScrollRequest(
        platform::Observable<double>::Handler handler) {
        return scrollRequest_.observe(std::move(handler));
    }
    double scrollMoveOffset() const { return scrollMoveOffset_.get(); }
    [[nodiscard]] platform::ObserverToken observeScrollMoveOffset(
        platform::Observable<double>::Handler handler) {
        return scrollMoveOffset_.observe(std::move(handler));
    }

    QWidget* scrollContentView() const { return scrollContentView_; }
    const std::vector<MVThumbnailInfo>& arrayOfThumbnailInfos() const { return infos_; }
    const std::set<std::int64_t>& integerArray() const { return shown_; }
    std::int64_t currentStartIndex() const { return currentStartIndex_; }
    MVThumbnailsGenerator* thumbnailsGenerator() const { return generator_.get(); }
    // How many times frames were asked of the generator.
    int generationRequests() const { return generationRequests_; }
    // Visible-window generation now (what the 0.1 s timer runs).
    void startGeneratingThumbanils();
    // A finished frame from the generator: placed at its slot, or dropped (see above).
    void frameArrived(const MVThumbnailImageAndIndex& frame);

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void startFetchThumbnails();
    void generateThumbnails();
    void scheduleGeneration();
    void boundsDidChange();

    const platform::UserDefaults& defaults_;
    std::optional<std::filesystem::path> folder_;
    std::unique_ptr<MVThumbnailsGenerator> generator_;
    platform::ObserverToken generatorToken_;
    QWidget* scrollContentView_ = nullptr;
    QLabel* noVideoLabel_ = nullptr;
    std::int64_t currentStartIndex_ = 0;
    std::set<std::int64_t> shown_;
    std::vector<MVThumbnailInfo> infos_;
    double contentWidth_ = 0.0;
    bool isGenerating_ = false;
    int generationRequests_ = 0;
    platform::Timer generationTimer_;
    platform::Observable<double> scrollMoveOffset_{0.0};
    platform::Observable<double> scrollRequest_{0.0};
};
