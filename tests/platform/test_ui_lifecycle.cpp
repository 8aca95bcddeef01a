// The application's lifecycle events as its delegate hears them: only
// changes are told, and a return from the background ends active, as on
// the phone, so that the next resign is told again.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ns/MainQueue.h"
#include "platform/ui/UIApplication.h"

using namespace KelpaPlatform;

namespace {

class RecordingDelegate : public UIApplicationDelegate {
public:
    RecordingDelegate(std::function<void(UIApplication&)> script, std::vector<std::string>* heard)
        : script_(std::move(script)), heard_(heard) {}
    bool didFinishLaunching(UIApplication&) override { return true; }
    void applicationWillResignActive(UIApplication&) override { heard_->push_back("resign"); }
    void applicationDidEnterBackground(UIApplication&) override { heard_->push_back("background"); }
    void applicationWillEnterForeground(UIApplication&) override { heard_->push_back("foreground"); }
    void applicationDidBecomeActive(UIApplication& app) override {
        heard_->push_back("active");
        // After the launch's own activation, the script, then the end.
        if (!started_) {
            started_ = true;
            dispatchAsyncMain([this, &app] {
                script_(app);
                app.terminate();
            });
        }
    }
    void applicationWillTerminate(UIApplication&) override { heard_->push_back("terminate"); }

private:
    std::function<void(UIApplication&)> script_;
    std::vector<std::string>* heard_;
    bool started_ = false;
};

std::vector<std::string> heardDuring(std::function<void(UIApplication&)> script) {
    std::vector<std::string> heard;
    char arg0[] = "test";
    char* argv[] = {arg0, nullptr};
    UIApplicationOptions options;
    options.headless = true;
    UIApplicationMain(
        1, argv, [&]() -> std::unique_ptr<UIApplicationDelegate> { return std::make_unique<RecordingDelegate>(script, &heard); },
        options);
    return heard;
}

using V = std::vector<std::string>;

TEST(UILifecycle, OnlyChangesAreToldAndTheForegroundEndsActive) {
    const struct {
        const char* what;
        std::function<void(UIApplication&)> script;
        V heard;
    } cases[] = {
        {"background, foreground, resign",
         [](UIApplication& a) {
             a.enterBackground();
             a.enterForeground();
             EXPECT_TRUE(a.isActive());
             a.resignActive();
         },
         {"resign", "background", "foreground", "active", "resign"}},
        {"back from the background by becoming active",
         [](UIApplication& a) {
             a.enterBackground();
             a.becomeActive();
             EXPECT_FALSE(a.isInBackground());
         },
         {"resign", "background", "foreground", "active"}},
        {"repeats are not told",
         [](UIApplication& a) {
             a.enterBackground();
             a.enterBackground();
             a.resignActive();
             a.enterForeground();
             a.enterForeground();
             a.becomeActive();
         },
         {"resign", "background", "foreground", "active"}},
        {"no foreground without a background",
         [](UIApplication& a) {
             a.resignActive();
             a.enterForeground();
             EXPECT_FALSE(a.isActive());
             a.becomeActive();
         },
         {"resign", "active"}},
    };
    for (const auto& c : cases) {
        V want = {"active"};
        want.insert(want.end(), c.heard.begin(), c.heard.end());
        want.push_back("terminate");
        EXPECT_EQ(heardDuring(c.script), want) << c.what;
    }
}

}  // namespace
