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
RefPtr<Audio> PlatformObjects::createAudio() { return createApplicationAudioImp(); }
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

int64_t ApplicationImp::paceSleep(int64_t now, int32_t ms, bool pace) {
    if (!pace || !hasDeadline_) {
        // Unpaced, or the first paced frame: the whole target, and the next
        // frame is due a target after this sleep ends.
        int64_t sleep = ms;
        if (pace && sleep < 1) sleep = 1;
        deadline_ = now + (sleep > 0 ? sleep : 0);
        hasDeadline_ = true;
        return sleep;
    }
    // A zero target only yields: it must not move the frames' deadlines.
    if (ms <= 0) return 1;

    // Deadlines follow one another by exactly the target, so an oversleep
    // or a slow frame is made up by the next sleep instead of adding up.
    const int64_t due = deadline_ + ms;
    const int64_t left = due - now;
    if (left > ms) {
        // Now is before the last deadline: the clock stepped back. Start
        // again from here rather than sleep the difference.
        deadline_ = now + ms;
        return ms;
    }
    if (left >= 1) {
        deadline_ = due;
        return left;
    }
    if (-left > ms) {
        // More than a frame behind (a stall, a pause of the process):
        // racing through the missed frames would only show as a burst.
        deadline_ = now + 1;
        return 1;
    }
    // A little late: yield the least and let the next frame catch up.
    deadline_ = due;
    return 1;
}

int32_t ApplicationImp::frameStep(int32_t ms, bool pace) {
    const int64_t sleep = paceSleep(clock_->nowMs(), ms, pace);
    hook().frameHook(this, int32_t(sleep));

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
