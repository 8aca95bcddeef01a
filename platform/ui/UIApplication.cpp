#include "platform/ui/UIApplication.h"

#include <gio/gio.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/ScreenProfile.h"
#include "platform/StartupTimeline.h"
#include "platform/ns/MainQueue.h"
#include "platform/ui/UIWindow.h"

namespace KelpaPlatform {

namespace {

std::atomic<UIApplication*> gShared{nullptr};

gboolean onSignal(gpointer) {
    if (UIApplication* app = UIApplication::shared()) app->terminate();
    return G_SOURCE_CONTINUE;
}

bool gGtkReady = false;

}  // namespace

std::unique_ptr<UIWindowSurface> makeGtkWindowSurface(UIWindow* window, double zoom, const std::string& title);

UIApplication* UIApplication::shared() { return gShared.load(std::memory_order_acquire); }

UIApplication::UIApplication(const UIApplicationOptions& options, bool display)
    : display_(display), zoom_(options.zoom > 0 ? options.zoom : 1.0), title_(options.title) {}

UIApplication::~UIApplication() = default;

void UIApplication::resignActive() {
    if (!active_ || terminating_) return;
    active_ = false;
    if (delegate_) delegate_->applicationWillResignActive(*this);
}

void UIApplication::becomeActive() {
    if (active_ || terminating_) return;
    // Coming back from the background goes through the foreground, which
    // ends in becoming active.
    if (background_) {
        enterForeground();
        return;
    }
    active_ = true;
    if (delegate_) delegate_->applicationDidBecomeActive(*this);
}

void UIApplication::enterBackground() {
    if (background_ || terminating_) return;
    resignActive();
    background_ = true;
    if (delegate_) delegate_->applicationDidEnterBackground(*this);
}

void UIApplication::enterForeground() {
    if (!background_ || terminating_) return;
    background_ = false;
    if (delegate_) delegate_->applicationWillEnterForeground(*this);
    // As on the phone, the return from the background ends active.
    becomeActive();
}

void UIApplication::terminate() {
    if (terminating_) return;
    terminating_ = true;
    if (delegate_) delegate_->applicationWillTerminate(*this);
    if (loop_) g_main_loop_quit(static_cast<GMainLoop*>(loop_));
}

bool UIApplication::openURL(const std::string& url) {
    if (!display_) return false;
    dispatchAsyncMain([url, title = title_]() {
        GError* error = nullptr;
        if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error)) {
            std::fprintf(stderr, "%s: cannot open %s: %s\n", title.c_str(), url.c_str(),
                         error ? error->message : "unknown error");
            g_clear_error(&error);
        }
    });
    return true;
}

std::unique_ptr<UIWindowSurface> UIApplication::makeWindowSurface(UIWindow* window) {
    if (!display_) return nullptr;
    return makeGtkWindowSurface(window, zoom_, title_);
}

bool displayAvailable(int* argc, char*** argv) {
    if (gGtkReady) return true;
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && (!w || !*w)) return false;
    gGtkReady = gtk_init_check(argc, argv);
    markStartup("display opened");
    return gGtkReady;
}

int UIApplicationMain(int argc, char** argv, std::function<std::unique_ptr<UIApplicationDelegate>()> makeDelegate,
                      const UIApplicationOptions& options) {
    markMainThread();
    // GTK opens the display even for a run without windows: web views
    // render off screen on it.
    bool gtk = displayAvailable(&argc, &argv);
    bool display = !options.headless && gtk;
    UIApplication app(options, display);
    GMainLoop* loop = g_main_loop_new(g_main_context_default(), FALSE);
    app.loop_ = loop;
    gShared.store(&app, std::memory_order_release);
    guint sigint = g_unix_signal_add(SIGINT, onSignal, nullptr);
    guint sigterm = g_unix_signal_add(SIGTERM, onSignal, nullptr);

    std::unique_ptr<UIApplicationDelegate> delegate = makeDelegate ? makeDelegate() : nullptr;
    app.delegate_ = delegate.get();
    if (delegate && delegate->didFinishLaunching(app)) {
        dispatchAsyncMain([]() {
            if (UIApplication* a = UIApplication::shared()) a->becomeActive();
        });
    } else if (!app.terminating_) {
        app.terminate();
    }
    if (!app.terminating_) g_main_loop_run(loop);

    if (delegate) delegate->applicationWillExit(app);
    app.delegate_ = nullptr;
    delegate.reset();
    // Blocks posted until now find no application and no controller.
    gShared.store(nullptr, std::memory_order_release);
    drainMainQueue(500);
    g_source_remove(sigint);
    g_source_remove(sigterm);
    app.loop_ = nullptr;
    g_main_loop_unref(loop);
    return 0;
}

UIScreen& UIScreen::mainScreen() {
    static UIScreen screen;
    return screen;
}

CGRect UIScreen::bounds() const {
    ScreenProfile p = currentScreenProfile();
    return CGRectMake(0, 0, p.widthPoints, p.heightPoints);
}

double UIScreen::scale() const { return currentScreenProfile().scale; }

UIDevice& UIDevice::currentDevice() {
    static UIDevice device;
    return device;
}

UIUserInterfaceIdiom UIDevice::userInterfaceIdiom() const {
    return currentScreenProfile().isPad ? UIUserInterfaceIdiom::Pad : UIUserInterfaceIdiom::Phone;
}

}  // namespace KelpaPlatform
