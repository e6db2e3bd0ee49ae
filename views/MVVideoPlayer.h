#pragma once

#include <QImage>
#include <QSize>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

// One video file and the player that shows it: what the lap films and the session preview need of
// a video engine. The program uses MVVlcPlayer; tests put a fake of their own in its place
// (MVVideoPlayer::setMaker).
//
// Main thread only. Every callback is made on the main thread, from the main queue, never from
// inside an engine call: a callback may call any operation of the player, or destroy it.
class MVVideoPlayer {
  public:
    // The player's state, numbered like the engine's own states; 6 is the end of the media.
    enum State : int {
        NothingSpecial = 0,
        Opening = 1,
        Buffering = 2,
        Playing = 3,
        Paused = 4,
        Stopped = 5,
        Ended = 6,
        Error = 7,
    };

    struct Callbacks {
        // Parsing ended: ok false when the file could not be read or decoded. Parsing that takes
        // longer than its time limit is not a failure: it goes on, and this follows at its end.
        std::function<void(bool ok)> parsed;
        // The playing time moved (milliseconds of the file's own clock).
        std::function<void(std::int64_t ms)> timeChanged;
        std::function<void(State state)> stateChanged;
        // A new picture is ready (frame()).
        std::function<void()> frameReady;
    };

    virtual ~MVVideoPlayer() = default;

    // Makes a player with the current maker (the libvlc player unless a test replaced it).
    static std::unique_ptr<MVVideoPlayer> make();
    using Maker = std::function<std::unique_ptr<MVVideoPlayer>()>;
    // Replaces the maker (none: back to the libvlc player); returns the previous one.
    static Maker setMaker(Maker maker);

    virtual void setCallbacks(Callbacks callbacks) = 0;
    // Opens the file and parses it locally; `callbacks.parsed` follows once. Past the time limit
    // (zero or less: the engine's own) parsing goes on without one.
    virtual void open(const std::filesystem::path& file, std::chrono::milliseconds limit) = 0;
    // Length in ms; 0 while unknown (not parsed, parse failed, or a file without length).
    virtual std::int64_t length() const = 0;
    // The frame size of the first video track; empty when the media has no video track.
    virtual QSize videoSize() const = 0;

    // Playing is what the caller asked for: true from play() (also while the engine is still
    // opening) until pause(), stop() or the end.
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual State state() const = 0;
    // The time shown, in ms: while playing, from the last report on at the rate.
    virtual std::int64_t time() const = 0;
    // Seeks to a time in ms (also while paused, after the end, or before playing began). Paused,
    // the player comes to rest on the frame at or before that time; playing, it goes on from there.
    virtual void setTime(std::int64_t ms) = 0;
    // Whether a seek made while paused (or before playing began) has not yet shown its picture.
    virtual bool isSeeking() const = 0;
    // Whether the file turned out to have no picture to show: no frame of it can be read (a file
    // cut short before its first whole picture). Told with the frameReady of the seek that found
    // it; false again once a picture shows.
    virtual bool hasNoReadablePicture() const { return false; }
    virtual void setRate(float rate) = 0;
    virtual void setMuted(bool muted) = 0;
    // Picture adjustment: contrast, brightness, saturation and gamma 1 and hue 0 are neutral.
    virtual void setContrast(float value) = 0;
    virtual void setBrightness(float value) = 0;
    virtual void setHue(float value) = 0;
    virtual void setSaturation(float value) = 0;
    virtual void setGamma(float value) = 0;

    // The last picture shown; null before the first one.
    virtual QImage frame() const = 0;
};
