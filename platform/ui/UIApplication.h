// The application loop: the process's main thread runs a GLib main loop
// (with GTK when there is a display); the application object turns the
// window system's focus, iconify and close events, and SIGINT/SIGTERM, into
// the five lifecycle callbacks of its delegate. The main screen and the
// device idiom come from the current screen profile.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIGeometry.h"

namespace KelpaPlatform {

class UIApplication;
class UIWindow;
class UIWindowSurface;

class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;
    virtual bool didFinishLaunching(UIApplication& app) = 0;
    virtual void applicationWillResignActive(UIApplication&) {}
    virtual void applicationDidEnterBackground(UIApplication&) {}
    virtual void applicationWillEnterForeground(UIApplication&) {}
    virtual void applicationDidBecomeActive(UIApplication&) {}
    virtual void applicationWillTerminate(UIApplication&) {}
    // After the loop has stopped, before the delegate (and its window) is
    // destroyed: the place to wait for the process's own threads.
    virtual void applicationWillExit(UIApplication&) {}
};

struct UIApplicationOptions {
    bool headless = false;    // no window on screen (the display, if any, still renders web views)
    double zoom = 1.0;        // window pixels per point
    std::string title = "";   // the window title
};

class UIApplication {
public:
    // The running application (null outside UIApplicationMain).
    static UIApplication* shared();

    UIApplicationDelegate* delegate() const { return delegate_; }
    bool hasDisplay() const { return display_; }
    double zoom() const { return zoom_; }
    const std::string& title() const { return title_; }

    // 1 portrait (the only one a desktop window has), 3 and 4 the two
    // landscapes.
    int statusBarOrientation() const { return statusBarOrientation_; }
    void setStatusBarOrientation(int orientation) { statusBarOrientation_ = orientation; }
    void setStatusBarStyle(int style) { statusBarStyle_ = style; }
    int statusBarStyle() const { return statusBarStyle_; }

    // Lifecycle events (main thread). Each calls the delegate only on a
    // change: resign only while active, background resigns first, the
    // foreground ends in becoming active (and becoming active from the
    // background goes through the foreground), and terminate is said once
    // and then stops the loop.
    void resignActive();
    void becomeActive();
    void enterBackground();
    void enterForeground();
    void terminate();
    bool isActive() const { return active_; }
    bool isInBackground() const { return background_; }
    bool isTerminating() const { return terminating_; }

    // Opens an http(s) URL in the user's browser (desktop only; the caller
    // has checked it). From any thread: the launch runs on the main loop.
    // False when there is no display to open it on.
    bool openURL(const std::string& url);

    // The window last made key and visible (main thread), or null.
    UIWindow* keyWindow() const { return keyWindow_; }
    void setKeyWindow(UIWindow* window) { keyWindow_ = window; }

    // A screen surface for the window, or null without a display.
    std::unique_ptr<UIWindowSurface> makeWindowSurface(UIWindow* window);

    UIApplication(const UIApplicationOptions& options, bool display);
    ~UIApplication();
    UIApplication(const UIApplication&) = delete;
    UIApplication& operator=(const UIApplication&) = delete;

private:
    friend int UIApplicationMain(int, char**, std::function<std::unique_ptr<UIApplicationDelegate>()>,
                                 const UIApplicationOptions&);
    UIApplicationDelegate* delegate_ = nullptr;
    void* loop_ = nullptr;  // GMainLoop*
    UIWindow* keyWindow_ = nullptr;
    bool display_;
    double zoom_;
    std::string title_;
    int statusBarStyle_ = 0;
    int statusBarOrientation_ = 1;
    bool active_ = false;
    bool background_ = false;
    bool terminating_ = false;
};

// Runs the application: makes the delegate, tells it the launch finished,
// runs the main loop until terminate, lets the delegate wait for its
// threads, destroys it and returns 0. Opens the display when $DISPLAY or
// $WAYLAND_DISPLAY is set and GTK initialises; windows are shown on it
// unless options.headless.
int UIApplicationMain(int argc, char** argv, std::function<std::unique_ptr<UIApplicationDelegate>()> makeDelegate,
                      const UIApplicationOptions& options);

// True when a display is named in the environment and GTK opens it.
bool displayAvailable(int* argc, char*** argv);

class UIScreen {
public:
    static UIScreen& mainScreen();
    // The screen profile's size in points.
    CGRect bounds() const;
    double scale() const;
};

enum class UIUserInterfaceIdiom { Phone, Pad };

class UIDevice {
public:
    static UIDevice& currentDevice();
    UIUserInterfaceIdiom userInterfaceIdiom() const;
};

}  // namespace KelpaPlatform
