#include "host/HostState.h"

#include "host/Runner.h"

#include <cstring>

#include "engine/HostBridge.h"
#include "engine/ios/ApplicationImp.h"
#include "host/Runner.h"
#include "host/ViewController.h"
#include "platform/ui/UIApplication.h"

namespace KelpaHost {

using KelpaEngine::iOS::ApplicationImp;

HostState& hostState() {
    // Never destroyed: a late block or thread may still look at it at exit.
    static HostState* state = new HostState();
    return *state;
}

void setGameEntry(GameEntryFn entry, const char* name) {
    HostState& s = hostState();
    s.gameEntry = entry;
    std::memset(s.appName, 0, sizeof s.appName);
    if (name) std::strncpy(s.appName, name, sizeof s.appName - 1);
}

void resetHostState() {
    HostState& s = hostState();
    s.rootViewController.store(nullptr);
    {
        std::lock_guard<std::mutex> guard(s.knownAppLock);
        s.knownApp.store(nullptr);
    }
    s.suspendFlag.store(0);
    s.terminateFlag.store(0);
    s.scriptedLifecycle.store(0);
    s.pendingTouch.clear();
    s.platform = nullptr;
    s.adViews = nullptr;
    s.services = nullptr;
    KelpaEngine::HostBridge& bridge = KelpaEngine::installedHostBridge();
    for (int32_t kind : {KelpaEngine::kAdTopBanner, KelpaEngine::kAdBottomBanner, KelpaEngine::kAdInterstitial}) {
        bridge.storeAdWish(kind, 0);
    }
    bridge.setRandomSeed(-1);
    bridge.setGameClock(nullptr);
}

namespace {

class FrameHook : public KelpaEngine::HostHook {
public:
    void frameHook(KelpaEngine::Application* app, int32_t sleepMs) override { hostFrameHook(app, sleepMs); }
};

}  // namespace

KelpaEngine::HostHook& hostHook() {
    static FrameHook hook;
    return hook;
}

void copyFlagsInto(ApplicationImp* app) {
    if (!app) return;
    HostState& s = hostState();
    app->setSuspended(s.suspendFlag.load(std::memory_order_relaxed) != 0);
    app->setTerminated(s.terminateFlag.load(std::memory_order_relaxed) != 0);
    app->setPad(KelpaPlatform::UIDevice::currentDevice().userInterfaceIdiom() == KelpaPlatform::UIUserInterfaceIdiom::Pad);
}

void hostFrameHook(KelpaEngine::Application* app, int32_t sleepMs) {
    HostState& s = hostState();
    ApplicationImp* imp = dynamic_cast<ApplicationImp*>(app);

    // 1. The first application seen is the known one.
    if (imp && !s.knownApp.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(s.knownAppLock);
        if (!s.knownApp.load(std::memory_order_relaxed)) s.knownApp.store(imp, std::memory_order_release);
    }
    // The run's own frame work: a repeatable run's clock and script.
    if (Runner* run = currentRunner()) run->gameFrameHook();
    // 2. The ad wishes go to the main queue.
    if (ViewController* vc = s.rootViewController.load(std::memory_order_acquire)) {
        vc->adkasaBannerController();
        vc->adkasaInterController();
    }
    // 3. The oldest pending touch, taken as a unit with its mark.
    KelpaEngine::iOS::deliverPendingTouch(s.pendingTouch, app);
    // 4. The flags.
    copyFlagsInto(imp);
    // 5. The frame's sleep.
    KelpaEngine::sleepMilliseconds(sleepMs);
    if (Runner* r = currentRunner()) r->frameStepped();
}

}  // namespace KelpaHost
