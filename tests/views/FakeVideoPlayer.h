#pragma once

#include "tests/support/ScopedHook.h"

#include "views/MVVideoPlayer.h"

#include <memory>
#include <vector>

namespace testing_support {

// A video player that does what it is told at once and reports only when the test says so.
// Every made player is listed in `made` (in order) for the test to drive.
class FakeVideoPlayer final : public MVVideoPlayer {
  public:
    struct Log {
        std::vector<FakeVideoPlayer*> made;
    };

    explicit FakeVideoPlayer(std::shared_ptr<Log> log) : log_(std::move(log)) {
        log_->made.push_back(this);
    }
    ~FakeVideoPlayer() override { std::erase(log_->made, this); }

    // ---- Test side ----
    void finishParsing(bool ok, std::int64_t length) {
        length_ = ok ? length : 0;
        if (callbacks_.parsed) callbacks_.parsed(ok);
    }
    void reportTime(std::int64_t ms) {
        time_ = ms;
        if (callbacks_.timeChanged) callbacks_.timeChanged(ms);
    }
    void reachEnd() {
        state_ = Ended;
        if (callbacks_.stateChanged) callbacks_.stateChanged(Ended);
    }
    std::filesystem::path opened;
    std::vector<std::int64_t> seeks;
    float rate = 1;
    bool muted = false;
    int plays = 0;
    int pauses = 0;

    // ---- Player ----
    void setCallbacks(Callbacks callbacks) override { callbacks_ = std::move(callbacks); }
    void open(const std::filesystem::path& file, std::chrono::milliseconds) override {
        opened = file;
    }
    std::int64_t length() const override { return length_; }
    QSize videoSize() const override { return QSize(160, 120); }
    void play() override {
        ++plays;
        state_ = Playing;
    }
    void pause() override {
        ++pauses;
        state_ = Paused;
    }
    void stop() override { state_ = Stopped; }
    bool isPlaying() const override { return state_ == Playing; }
    State state() const override { return state_; }
    std::int64_t time() const override { return time_; }
    void setTime(std::int64_t ms) override {
        seeks.push_back(ms);
        time_ = ms;
    }
    // The test says when a paused seek has shown its picture (showPicture).
    bool isSeeking() const override { return seeking; }
    void showPicture() {
        seeking = false;
        if (callbacks_.frameReady) callbacks_.frameReady();
    }
    bool seeking = false;
    void setRate(float r) override { rate = r; }
    void setMuted(bool m) override { muted = m; }
    void setContrast(float) override {}
    void setBrightness(float) override {}
    void setHue(float) override {}
    void setSaturation(float) override {}
    void setGamma(float) override {}
    QImage frame() const override { return {}; }

  private:
    std::shared_ptr<Log> log_;
    Callbacks callbacks_;
    std::int64_t length_ = 0;
    std::int64_t time_ = 0;
    State state_ = NothingSpecial;
};

// Installs fake players (and restores the real maker) for the scope.
class FakePlayerScope {
  public:
    FakePlayerScope()
        : log(std::make_shared<FakeVideoPlayer::Log>()),
          maker_([l = log] { return std::make_unique<FakeVideoPlayer>(l); }) {}
    FakeVideoPlayer* player(size_t i) const {
        return i < log->made.size() ? log->made[i] : nullptr;
    }

    std::shared_ptr<FakeVideoPlayer::Log> log;

  private:
    ScopedHook<&MVVideoPlayer::setMaker> maker_;
};

}  // namespace testing_support
