// The host's process-wide state: what the main thread and the game thread
// share. The main thread writes the suspend and terminate flags and queues
// touches; the game thread reads them once per frame in the frame hook.
// Every flag is an atomic byte; each touch is handed over as one unit. The ad wishes live in the installed bridge (engine/HostBridge.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/Heap.h"
#include "engine/HostHook.h"
#include "engine/ios/PendingTouch.h"

namespace KelpaEngine {
class Application;
namespace iOS {
class ApplicationImp;
class PlatformObjects;
}  // namespace iOS
}  // namespace KelpaEngine

namespace KelpaHost {

class ViewController;
class AdViewMaker;
class HostServices;

// The game's entry point; the game thread runs it once.
using GameEntryFn = int (*)(KelpaEngine::RefPtr<KelpaEngine::Application> app);

struct HostState {
    GameEntryFn gameEntry = nullptr;
    char appName[256] = {0};

    // Set at the end of viewDidLoad; the game thread reads it every frame.
    std::atomic<ViewController*> rootViewController{nullptr};

    // The application the frame hook first saw. The game thread clears it
    // under the lock before it lets the application go, and the main
    // thread reads the application only under the lock, so the
    // resign-active wait never reads an application that is gone.
    std::mutex knownAppLock;
    std::atomic<KelpaEngine::iOS::ApplicationImp*> knownApp{nullptr};

    std::atomic<uint8_t> suspendFlag{0};
    std::atomic<uint8_t> terminateFlag{0};
    // A repeatable run: its script alone pauses and resumes the game, from
    // the game thread, so the lifecycle handlers and ad taps leave the
    // suspend flag alone (and the resign does not wait).
    std::atomic<uint8_t> scriptedLifecycle{0};
    KelpaEngine::iOS::PendingTouch pendingTouch;

    // Seams; null members take the production choice.
    KelpaEngine::iOS::PlatformObjects* platform = nullptr;
    AdViewMaker* adViews = nullptr;
    HostServices* services = nullptr;
};

HostState& hostState();

// Stores the game entry and the name (cut to 255 bytes).
void setGameEntry(GameEntryFn entry, const char* name);

// Puts every flag, the pending touches, the known application and the wishes
// back to their start values and drops the seams (tests; no game thread
// may be running).
void resetHostState();

// The frame hook (game thread, once per frame): hands the ad wishes to the
// main queue, the oldest pending touch and the flags to the application, then
// sleeps sleepMs.
void hostFrameHook(KelpaEngine::Application* app, int32_t sleepMs);

// The hook object the host's applications are made with.
KelpaEngine::HostHook& hostHook();

// Copies the flags the frame hook would (the game thread).
void copyFlagsInto(KelpaEngine::iOS::ApplicationImp* app);

}  // namespace KelpaHost
