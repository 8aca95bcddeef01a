// The seam between the frame step and the platform host. Once per frame,
// on the game thread, the frame step calls the hook; the host's hook hands
// over the ad wishes, a pending touch and the lifecycle flags into the
// application, then sleeps the given time.
//
// The host implements HostHook and either passes it to the application at
// construction or installs it process-wide with installHostHook before the
// game thread starts. Without either, the default hook only sleeps.
#pragma once

#include <cstdint>

namespace KelpaEngine {

class Application;

class HostHook {
public:
    virtual ~HostHook() = default;
    // Called by Application::frameStep on the game thread. sleepMs may be 0
    // (or, with pacing off, whatever the caller asked for); a value below 1
    // means no sleep.
    virtual void frameHook(Application* app, int32_t sleepMs) = 0;
};

// The default: no host work, just the sleep.
class SleepingHostHook : public HostHook {
public:
    void frameHook(Application* app, int32_t sleepMs) override;
};

// Sleeps on the calling thread; nothing for ms below 1.
void sleepMilliseconds(int32_t ms);

// The process-wide hook used by applications made without one. Passing null
// puts the default back. The hook must outlive every application using it.
void installHostHook(HostHook* hook);
// The installed hook, or the default sleeping one.
HostHook& installedHostHook();

}  // namespace KelpaEngine
