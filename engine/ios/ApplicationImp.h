// The application on the platform: the frame pacer, the state derived from
// the host's flags, and the platform graphics, audio and touch objects.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/Application.h"
#include "engine/FrameClock.h"
#include "engine/HostHook.h"

namespace KelpaEngine {
namespace iOS {

// How the application makes, pauses and resumes its platform objects. The
// default goes to the platform factories; tests put in their own.
class PlatformObjects {
public:
    virtual ~PlatformObjects() = default;
    virtual RefPtr<Graphics> createGraphics(Application* app);
    virtual void releaseGraphics(Graphics* graphics);
    virtual void restoreGraphics(Graphics* graphics);
    virtual RefPtr<Audio> createAudio();
    virtual void pauseAudio(Audio* audio);
    virtual void resumeAudio(Audio* audio);
    virtual RefPtr<Pointing> createPointing();
};

// The production platform objects (one shared instance).
PlatformObjects& defaultPlatformObjects();

// What an application is built with. Null members take the production
// choice: the installed host hook (see installHostHook), the monotonic
// clock, the platform factories. The pointed-to objects must outlive the
// application.
struct ApplicationSeams {
    HostHook* hook = nullptr;
    FrameClock* clock = nullptr;
    PlatformObjects* platform = nullptr;
};

class ApplicationImp : public Application {
public:
    explicit ApplicationImp(const char* name, const ApplicationSeams& seams = ApplicationSeams());
    ~ApplicationImp() override;

    // Paced frames are due every ms on fixed deadlines (see paceSleep).
    int32_t frameStep(int32_t ms, bool pace) override;
    // 3 when terminated, else 1 when suspended, else 0.
    int32_t getState() override;

    RefPtr<Audio> getAudio() override;
    RefPtr<Graphics> getGraphics() override;
    RefPtr<Pointing> getPointing() override;
    RefPtr<CounterTimer> createTimer() override;

    // Written by the host hook on the game thread each frame (and the
    // terminated flag by the game thread when the game entry returns).
    void setSuspended(bool on) { suspended_.store(on ? 1 : 0, std::memory_order_relaxed); }
    void setTerminated(bool on) { terminated_.store(on ? 1 : 0, std::memory_order_relaxed); }
    void setPad(bool on) { pad_.store(on ? 1 : 0, std::memory_order_relaxed); }
    bool isSuspended() const { return suspended_.load(std::memory_order_relaxed) != 0; }
    bool isTerminated() const { return terminated_.load(std::memory_order_relaxed) != 0; }
    bool isPad() const { return pad_.load(std::memory_order_relaxed) != 0; }

    // The state last acted on (pause or resume done). Any thread may read it:
    // the host's main thread waits on it when the app resigns active.
    uint32_t previousState() const { return previousState_.load(std::memory_order_acquire); }
    // The state reported by the latest frame step.
    uint32_t lastReportedState() const { return state_; }

    // The objects made so far (no creation), for the host and tests.
    Audio* audioIfMade() const { return audio_.get(); }
    Graphics* graphicsIfMade() const { return graphics_.get(); }
    Pointing* pointingIfMade() const { return pointing_.get(); }

private:
    HostHook& hook();
    // The sleep that ends at this frame's deadline, at least 1 ms when
    // paced and never more than ms; moves the deadline on.
    int64_t paceSleep(int64_t now, int32_t ms, bool pace);

    HostHook* hook_;
    FrameClock* clock_;
    PlatformObjects* platform_;

    std::atomic<uint8_t> suspended_{0};
    std::atomic<uint8_t> terminated_{0};
    uint32_t state_ = 0;
    std::atomic<uint32_t> previousState_{0};
    std::atomic<uint8_t> pad_{0};
    int64_t deadline_ = 0;  // when the latest paced sleep is meant to end
    bool hasDeadline_ = false;
    RefPtr<Audio> audio_;
    RefPtr<Graphics> graphics_;
    RefPtr<Pointing> pointing_;
};

}  // namespace iOS
}  // namespace KelpaEngine
