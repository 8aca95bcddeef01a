#include "host/AppDelegate.h"

#include <unistd.h>

#include <cstdio>

#include "host/HostState.h"
#include "host/MainGLView.h"
#include "host/OverlaySurface.h"
#include "host/Runner.h"
#include "platform/StartupTimeline.h"
#include "platform/ns/NSNotificationCenter.h"

namespace KelpaHost {

using namespace KelpaPlatform;

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
    // The controller goes before the window that shows its view.
    if (window) window->setRootViewController(nullptr);
    viewController.reset();
    window.reset();
}

bool AppDelegate::didFinishLaunching(UIApplication& app) {
    window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
    viewController = std::make_shared<ViewController>();
    window->setRootViewController(viewController);
    app.setStatusBarStyle(1);  // light content
    window->addSubview(viewController->view());
    // Without a screen, what the views show over the game goes into the
    // frames the run writes.
    if (!app.hasDisplay()) window->setSurface(std::make_unique<OverlaySurface>(window.get(), currentRunner()));
    if (MainGLView* gl = viewController->glView()) {
        gl->setPaints(app.hasDisplay());
        if (Runner* run = currentRunner()) run->attach(gl, app.hasDisplay());
    }
    window->makeKeyAndVisible();
    markStartup("window and views made");
    return true;
}

void AppDelegate::post(const char* name) {
    std::printf("mekko: %s\n", name);
    std::fflush(stdout);
    NSNotificationCenter::defaultCenter().postNotificationName(name, this);
}

void AppDelegate::applicationWillResignActive(UIApplication&) { post("applicationWillResignActive"); }
void AppDelegate::applicationDidEnterBackground(UIApplication&) { post("applicationDidEnterBackground"); }
void AppDelegate::applicationWillEnterForeground(UIApplication&) { post("applicationWillEnterForeground"); }
void AppDelegate::applicationDidBecomeActive(UIApplication&) { post("applicationDidBecomeActive"); }
void AppDelegate::applicationWillTerminate(UIApplication&) { post("applicationWillTerminate"); }

void AppDelegate::applicationWillExit(UIApplication&) {
    // The loop has stopped, so the game must stop too, even if its
    // terminate notification found no observer yet (a terminate handled in
    // the same loop pass that first showed the view).
    hostState().terminateFlag.store(1, std::memory_order_relaxed);
    // The game thread draws through the window's view and reads the
    // controller: both stay until it has ended.
    if (viewController && !viewController->waitForGameThread(kGameThreadExitWaitMs)) {
        std::fprintf(stderr, "mekko: the game thread did not end within %d ms; leaving without cleaning up\n",
                     kGameThreadExitWaitMs);
        std::fflush(nullptr);
        _exit(1);
    }
    std::printf("mekko: game thread ended\n");
    std::fflush(stdout);
    if (Runner* run = currentRunner()) run->finish();
    if (window) window->closeSurface();
    std::printf("mekko: window closed\n");
    std::fflush(stdout);
}

}  // namespace KelpaHost
