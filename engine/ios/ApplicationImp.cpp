#include "engine/ios/ApplicationImp.h"

#include "engine/Audio.h"
#include "engine/Graphics.h"
#include "engine/Pointing.h"
#include "engine/ios/CounterTimerImp.h"
#include "engine/ios/Factories.h"

namespace KelpaEngine {
namespace iOS {

RefPtr<Graphics> PlatformObjects::createGraphics(Application* app) { return createGraphicsImp(app); }
void PlatformObjects::releaseGraphics(Graphics* graphics) { releaseGraphicsContext(graphics); }
void PlatformObjects::restoreGraphics(Graphics* graphics) { restoreGraphicsContext(graphics); }
RefPtr<Audio> PlatformObjects::createAudio() { return createAudioImp(); }
void PlatformObjects::pauseAudio(Audio* audio) { audioPauseAll(audio); }
void PlatformObjects::resumeAudio(Audio* audio) { audioResumeAll(audio); }
RefPtr<Pointing> PlatformObjects::createPointing() { return createPointingImp(); }

PlatformObjects& defaultPlatformObjects() {
    static PlatformObjects objects;
    return objects;
}

ApplicationImp::ApplicationImp(const char* name, const ApplicationSeams& seams)
    : hook_(seams.hook),
      clock_(seams.clock ? seams.clock : &monotonicClock()),
      platform_(seams.platform ? seams.platform : &defaultPlatformObjects()) {
    setName(name);
}

ApplicationImp::~ApplicationImp() {
    pointing_.reset();
    graphics_.reset();
    audio_.reset();
}

HostHook& ApplicationImp::hook() { return hook_ ? *hook_ : installedHostHook(); }

int32_t ApplicationImp::getState() {
    if (isTerminated()) return kStateTerminating;
    if (isSuspended()) return kStatePaused;
    return kStateActive;
}

int32_t ApplicationImp::frameStep(int32_t ms, bool pace) {
    int64_t now = clock_->nowMs();
    int64_t sleep = ms;
    if (pace && hasStamp_) {
        // The stamp is taken when the previous sleep ended, so only the
        // frame's own work is taken off the target and frames come every
        // `ms`. (Stamping before the sleep would count the previous sleep
        // too and alternate 1 ms and 15 ms sleeps: twice the frame rate.)
        // A clock that went back counts as no time passed.
        int64_t elapsed = now - lastStamp_;
        if (elapsed < 0) elapsed = 0;
        sleep = int64_t(ms) - elapsed;
        if (sleep < 1) sleep = 1;
    }

    hook().frameHook(this, int32_t(sleep));
    lastStamp_ = clock_->nowMs();
    hasStamp_ = true;

    int32_t state = getState();
    state_ = uint32_t(state);
    if (state == kStateTerminating) return state;
    if (uint32_t(state) != previousState_.load(std::memory_order_relaxed)) {
        if (state == kStatePaused) {
            if (graphics_) platform_->releaseGraphics(graphics_.get());
            if (audio_) platform_->pauseAudio(audio_.get());
        } else if (state == kStateActive) {
            if (graphics_) platform_->restoreGraphics(graphics_.get());
            if (audio_) platform_->resumeAudio(audio_.get());
        }
        // Released last: the host's resign-active wait ends on this store.
        previousState_.store(uint32_t(state), std::memory_order_release);
    }
    return state;
}

RefPtr<Audio> ApplicationImp::getAudio() {
    if (!audio_) audio_ = platform_->createAudio();
    return audio_;
}

RefPtr<Graphics> ApplicationImp::getGraphics() {
    if (!graphics_) graphics_ = platform_->createGraphics(this);
    return graphics_;
}

RefPtr<Pointing> ApplicationImp::getPointing() {
    if (!pointing_) pointing_ = platform_->createPointing();
    return pointing_;
}

RefPtr<CounterTimer> ApplicationImp::createTimer() { return CounterTimerImp::create(); }

}  // namespace iOS
}  // namespace KelpaEngine
