// The application delegate: builds the window and the root view controller
// at launch and turns each lifecycle callback into the notification of the
// same name. At exit it waits for the game thread before the window goes.
#pragma once

#include <memory>

#include "host/ViewController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

namespace KelpaHost {

class AppDelegate : public KelpaPlatform::UIApplicationDelegate {
public:
    AppDelegate();
    ~AppDelegate() override;

    bool didFinishLaunching(KelpaPlatform::UIApplication& app) override;
    void applicationWillResignActive(KelpaPlatform::UIApplication& app) override;
    void applicationDidEnterBackground(KelpaPlatform::UIApplication& app) override;
    void applicationWillEnterForeground(KelpaPlatform::UIApplication& app) override;
    void applicationDidBecomeActive(KelpaPlatform::UIApplication& app) override;
    void applicationWillTerminate(KelpaPlatform::UIApplication& app) override;
    void applicationWillExit(KelpaPlatform::UIApplication& app) override;

    std::shared_ptr<KelpaPlatform::UIWindow> window;
    std::shared_ptr<ViewController> viewController;

private:
    void post(const char* name);
};

// How long the exit waits for the game thread before giving up on it.
constexpr int kGameThreadExitWaitMs = 10000;

}  // namespace KelpaHost
