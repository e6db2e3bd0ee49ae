// The process-wide maker of video players (main thread only, like the players).
#include "views/MVVideoPlayer.h"
#include "views/MVVlcPlayer.h"

namespace {

MVVideoPlayer::Maker& currentMaker() {
    static MVVideoPlayer::Maker maker;
    return maker;
}

}  // namespace

std::unique_ptr<MVVideoPlayer> MVVideoPlayer::make() {
    if (const Maker& maker = currentMaker()) return maker();
    return std::make_unique<MVVlcPlayer>();
}

MVVideoPlayer::Maker MVVideoPlayer::setMaker(Maker maker) {
    return std::exchange(currentMaker(), std::move(maker));
}
