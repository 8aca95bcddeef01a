// The web engine over WebKitGTK: each page lives in a GtkOffscreenWindow of
// its own, rendered at the screen's scale (the page's CSS pixels are the
// view's points), so that it keeps rendering whether or not its view is on
// screen; its picture is painted into the view tree, and touches reach it
// as the pointer events a mouse would send.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/ui/WebKitModule.h"

namespace KelpaPlatform {

namespace {

// One context for every page: nothing of the ads (cookies, caches) is kept
// on disk.
WebKitWebContext* sharedContext() {
    static WebKitWebContext* context = webkit_web_context_new_ephemeral();
    return context;
}

guint32 eventTime() { return guint32(g_get_monotonic_time() / 1000); }

class WebKitEngine final : public WebEngine {
public:
    WebKitEngine(double scale, const std::string& agent) : alive_(std::make_shared<bool>(true)) {
        scale_ = scale;
        if (!(scale_ >= 1)) scale_ = 1;
        window_ = gtk_offscreen_window_new();
        g_object_ref_sink(window_);
        // A page paints only what it draws: the window under it keeps alpha
        // and paints no theme background of its own.
        if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window_))) {
            gtk_widget_set_visual(window_, rgba);
        }
        gtk_widget_set_app_paintable(window_, TRUE);
        view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(sharedContext()));
        g_object_ref_sink(view_);
        WebKitSettings* settings = webkit_web_view_get_settings(view_);
        webkit_settings_set_enable_developer_extras(settings, FALSE);
        webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
        webkit_settings_set_media_playback_requires_user_gesture(settings, TRUE);
        if (!agent.empty()) webkit_settings_set_user_agent(settings, agent.c_str());
        GdkRGBA clear = {0, 0, 0, 0};
        webkit_web_view_set_background_color(view_, &clear);
        webkit_web_view_set_zoom_level(view_, scale_);
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));

        g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
        g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
        g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(onTlsFailed), this);
        g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onTerminated), this);
        g_signal_connect(view_, "create", G_CALLBACK(onCreate), this);
        g_signal_connect(view_, "context-menu", G_CALLBACK(onSwallow), this);
        g_signal_connect(view_, "script-dialog", G_CALLBACK(onSwallow), this);
        g_signal_connect(view_, "permission-request", G_CALLBACK(onPermission), this);
        g_signal_connect(window_, "damage-event", G_CALLBACK(onDamage), this);
        gtk_widget_show_all(window_);
    }

    ~WebKitEngine() override {
        *alive_ = false;
        if (shownTimer_) g_source_remove(shownTimer_);
        dropSnapshot();
        g_signal_handlers_disconnect_by_data(view_, this);
        g_signal_handlers_disconnect_by_data(window_, this);
        webkit_web_view_stop_loading(view_);
        gtk_widget_destroy(window_);
        g_object_unref(view_);
        g_object_unref(window_);
    }

    void loadHTMLString(const std::string& html, const std::string& baseURL) override {
        webkit_web_view_load_html(view_, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
    }

    void stopLoading() override { webkit_web_view_stop_loading(view_); }
    bool isLoading() const override { return loading_; }

    void setSize(const CGSize& size) override {
        int w = std::max(1, int(std::lround(size.width * scale_)));
        int h = std::max(1, int(std::lround(size.height * scale_)));
        gtk_widget_set_size_request(GTK_WIDGET(view_), w, h);
        gtk_window_resize(GTK_WINDOW(window_), w, h);
    }

    void paint(cairo_t* cr) override {
        cairo_surface_t* picture =
            snapshot_ ? snapshot_ : gtk_offscreen_window_get_surface(GTK_OFFSCREEN_WINDOW(window_));
        if (!picture) return;
        cairo_save(cr);
        cairo_scale(cr, 1 / scale_, 1 / scale_);
        cairo_set_source_surface(cr, picture, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    }

    void touch(UITouchPhase phase, const CGPoint& p) override {
        GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(view_));
        GdkDisplay* display = gdk_display_get_default();
        if (!target || !display) return;
        GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
        double x = p.x * scale_, y = p.y * scale_;
        auto send = [&](GdkEventType type, guint state) {
            GdkEvent* e = gdk_event_new(type);
            if (type == GDK_MOTION_NOTIFY) {
                e->motion.window = GDK_WINDOW(g_object_ref(target));
                e->motion.time = eventTime();
                e->motion.x = e->motion.x_root = x;
                e->motion.y = e->motion.y_root = y;
                e->motion.state = state;
            } else {
                e->button.window = GDK_WINDOW(g_object_ref(target));
                e->button.time = eventTime();
                e->button.x = e->button.x_root = x;
                e->button.y = e->button.y_root = y;
                e->button.button = 1;
                e->button.state = state;
            }
            gdk_event_set_device(e, pointer);
            gtk_widget_event(GTK_WIDGET(view_), e);
            gdk_event_free(e);
        };
        std::weak_ptr<bool> alive = alive_;
        switch (phase) {
        case UITouchPhase::Began:
            send(GDK_MOTION_NOTIFY, 0);
            if (!alive.expired()) send(GDK_BUTTON_PRESS, 0);
            break;
        case UITouchPhase::Moved: send(GDK_MOTION_NOTIFY, GDK_BUTTON1_MASK); break;
        case UITouchPhase::Ended:
        case UITouchPhase::Cancelled: send(GDK_BUTTON_RELEASE, GDK_BUTTON1_MASK); break;
        case UITouchPhase::Stationary: break;
        }
    }

private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer data) {
        auto* self = static_cast<WebKitEngine*>(data);
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        std::string url = webkit_uri_request_get_uri(request) ? webkit_uri_request_get_uri(request) : "";
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && !self->approved_.empty() &&
            url == self->approved_) {
            // The load that an allowed new-window request became.
            self->approved_.clear();
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        auto navType = UIWebViewNavigationType(
            std::min<int>(int(webkit_navigation_action_get_navigation_type(action)), int(UIWebViewNavigationType::Other)));
        std::weak_ptr<bool> alive = self->alive_;
        bool allow = !self->client_ || self->client_->engineShouldNavigate(url, navType);
        if (alive.expired()) return TRUE;  // the view went in its delegate; WebKit drops the decision
        if (!allow) {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
            // One page per view: a link for a new window opens here.
            webkit_policy_decision_ignore(decision);
            self->approved_ = url;
            webkit_web_view_load_request(self->view_, request);
            return TRUE;
        }
        webkit_policy_decision_use(decision);
        return TRUE;
    }

    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* self = static_cast<WebKitEngine*>(data);
        if (event == WEBKIT_LOAD_STARTED) {
            if (self->loading_) {
                // A load that never said its end; its client may let this
                // engine go on hearing it.
                std::weak_ptr<bool> alive = self->alive_;
                self->end();
                if (alive.expired()) return;
            }
            self->loading_ = true;
            self->failed_ = false;
            self->drawnSinceCommit_ = false;
            if (self->client_) self->client_->engineDidStartLoad();
        } else if (event == WEBKIT_LOAD_COMMITTED) {
            self->drawnSinceCommit_ = false;
        } else if (event == WEBKIT_LOAD_FINISHED) {
            if (self->failed_) {
                self->end();
            } else {
                self->endOnceShown();
            }
        }
    }

    // The web process paints a page a moment after its load ends, and the
    // first drawing of a new view may still be blank: a finished load is
    // told once the picture has settled, when a script waiting for the
    // page's next two renderings answers with no new drawing since it was
    // asked, and the picture has been drawn since the page came. A page
    // that keeps drawing (an animation) ends after kMaxProbes answers; one
    // that never gets there, after kShownWaitMs all the same.
    // On a starved machine the window's picture may lag behind the page
    // even so, so the page is also asked for a picture of itself, taken
    // beside the script and shown until the window draws again after the
    // finish; the finish waits for it (on a quiet machine it comes before
    // the script answers). A page with neither that picture nor a drawing
    // by kShownWaitMs is waited for up to kFirstDrawingWaitMs more, and
    // fails if neither comes: a finish is never told over a picture that is
    // not the page's.
    struct ShownWait {
        std::weak_ptr<bool> alive;
        WebKitEngine* self;
        unsigned serial;
    };
    static constexpr guint kShownWaitMs = 3000;
    static constexpr guint kFirstDrawingWaitMs = 60000;
    static constexpr int kMaxProbes = 4;

    // KELPA_WEB_GIVE_UP_MS shortens the give-up wait, for tests that play a
    // machine too busy to draw a page within it.
    static guint shownWaitMs() {
        const char* ms = std::getenv("KELPA_WEB_GIVE_UP_MS");
        if (!ms || !*ms) return kShownWaitMs;
        char* end = nullptr;
        unsigned long v = std::strtoul(ms, &end, 10);
        return *end || v > kShownWaitMs ? kShownWaitMs : guint(v);
    }

    void endOnceShown() {
        cancelShownWait();
        settling_ = true;
        settled_ = false;
        pictured_ = false;
        probes_ = 0;
        waitedLong_ = false;
        probe();
        takeSnapshot();
        shownTimer_ = g_timeout_add(shownWaitMs(), onShownTimeout, this);
    }

    void probe() {
        ++probes_;
        drawnSinceProbe_ = false;
        webkit_web_view_call_async_javascript_function(
            view_, "await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));", -1, nullptr,
            "mekko-shown", nullptr, nullptr, onShownAnswer, new ShownWait{alive_, this, shownSerial_});
    }

    static void onShownAnswer(GObject* view, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ShownWait> wait(static_cast<ShownWait*>(data));
        GError* error = nullptr;
        if (JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error)) {
            g_object_unref(value);
        }
        if (error) g_error_free(error);
        if (!wait->alive.expired()) wait->self->answered(wait->serial);
    }

    void answered(unsigned serial) {
        if (serial != shownSerial_ || !loading_) return;
        // A drawing already handed to the window is taken now, not on the
        // next frame.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        if (GdkWindow* w = gtk_widget_get_window(window_)) gdk_window_process_updates(w, TRUE);
        G_GNUC_END_IGNORE_DEPRECATIONS
        if (!drawnSinceCommit_) {
            waitingForDrawing_ = true;  // the next drawing asks again
            return;
        }
        if (drawnSinceProbe_ && probes_ < kMaxProbes) {
            probe();
            return;
        }
        settled_ = true;
        if (!snapshotPending_) end();
    }

    static void onSnapshot(GObject* view, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ShownWait> wait(static_cast<ShownWait*>(data));
        GError* error = nullptr;
        cairo_surface_t* picture = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, &error);
        if (error) g_error_free(error);
        if (wait->alive.expired() || wait->serial != wait->self->shownSerial_ || !wait->self->settling_) {
            if (picture) cairo_surface_destroy(picture);
            return;
        }
        WebKitEngine* self = wait->self;
        self->snapshotPending_ = false;
        if (picture) {
            self->dropSnapshot();
            self->snapshot_ = picture;
            self->pictured_ = true;
            if (self->client_) self->client_->engineNeedsDisplay();
        }
        if (self->drawnSinceSnapshot_) {
            // The page drew again while it was pictured: picture it anew.
            self->takeSnapshot();
            return;
        }
        // Without a picture of its own (it could not be taken) the page
        // ends on its drawing, as the script finds it.
        if (self->settled_ && (self->pictured_ || self->drawnSinceCommit_)) self->end();
    }

    void takeSnapshot() {
        snapshotPending_ = true;
        drawnSinceSnapshot_ = false;
        webkit_web_view_get_snapshot(view_, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_TRANSPARENT_BACKGROUND,
                                     nullptr, onSnapshot, new ShownWait{alive_, this, shownSerial_});
    }

    void dropSnapshot() {
        if (snapshot_) cairo_surface_destroy(snapshot_);
        snapshot_ = nullptr;
    }

    static gboolean onDrawnIdle(gpointer data) {
        std::unique_ptr<ShownWait> wait(static_cast<ShownWait*>(data));
        if (wait->alive.expired()) return G_SOURCE_REMOVE;
        WebKitEngine* self = wait->self;
        if (wait->serial == self->shownSerial_ && self->loading_ && self->waitingForDrawing_) {
            self->waitingForDrawing_ = false;
            self->probe();
        }
        return G_SOURCE_REMOVE;
    }

    static gboolean onShownTimeout(gpointer data) {
        auto* self = static_cast<WebKitEngine*>(data);
        self->shownTimer_ = 0;
        if (self->pictured_ || (!self->snapshotPending_ && self->drawnSinceCommit_)) {
            self->end();
        } else if (!self->waitedLong_) {
            // A machine too busy to draw the page yet: its picture or the
            // first drawing ends the wait.
            self->waitedLong_ = true;
            self->settled_ = true;
            self->waitingForDrawing_ = !self->drawnSinceCommit_;  // the first drawing asks the script again
            self->shownTimer_ = g_timeout_add(kFirstDrawingWaitMs, onShownTimeout, self);
        } else if (self->drawnSinceCommit_) {
            self->end();
        } else {
            self->failed_ = true;
            self->error_ = "the page was never drawn";
            self->end();
        }
        return G_SOURCE_REMOVE;
    }

    void cancelShownWait() {
        ++shownSerial_;
        settling_ = false;
        snapshotPending_ = false;
        waitingForDrawing_ = false;
        if (shownTimer_) g_source_remove(shownTimer_);
        shownTimer_ = 0;
    }

    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer data) {
        auto* self = static_cast<WebKitEngine*>(data);
        if (self->loading_ && !self->failed_) {
            self->failed_ = true;
            self->error_ = error && error->message ? error->message : "load failed";
        }
        return TRUE;  // no error page: the failure is reported, the page stays empty
    }

    static gboolean onTlsFailed(WebKitWebView* view, gchar* uri, GTlsCertificate*, GTlsCertificateFlags, gpointer data) {
        GError error{};
        error.message = const_cast<gchar*>("TLS certificate refused");
        return onLoadFailed(view, WEBKIT_LOAD_STARTED, uri, &error, data);
    }

    static void onTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
        auto* self = static_cast<WebKitEngine*>(data);
        if (!self->loading_) return;
        self->failed_ = true;
        self->error_ = "the web process ended";
        self->end();
    }

    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }
    static gboolean onSwallow(WebKitWebView*, gpointer, gpointer) { return TRUE; }
    static gboolean onPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
        webkit_permission_request_deny(request);
        return TRUE;
    }
    static gboolean onDamage(GtkWidget*, GdkEvent*, gpointer data) {
        auto* self = static_cast<WebKitEngine*>(data);
        self->drawnSinceCommit_ = true;
        self->drawnSinceProbe_ = true;
        // The window shows the page from now on, or a later one.
        if (!self->settling_) {
            self->dropSnapshot();
        } else if (self->snapshotPending_) {
            self->drawnSinceSnapshot_ = true;
        } else {
            self->takeSnapshot();  // the page's own picture follows its drawing
        }
        if (self->waitingForDrawing_) {
            // After the drawing has been handed out.
            g_idle_add_full(G_PRIORITY_HIGH_IDLE, onDrawnIdle, new ShownWait{self->alive_, self, self->shownSerial_},
                            nullptr);
        }
        if (self->client_) self->client_->engineNeedsDisplay();
        return FALSE;
    }

    // The end of the load under way: exactly one finish or failure.
    void end() {
        if (!loading_) return;
        cancelShownWait();
        loading_ = false;
        bool failed = failed_;
        failed_ = false;
        if (!client_) return;
        if (failed) {
            std::string error = std::move(error_);
            client_->engineDidFailLoad(error);
        } else {
            client_->engineDidFinishLoad();
        }
    }

    std::shared_ptr<bool> alive_;
    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    double scale_ = 1;
    bool loading_ = false;
    bool failed_ = false;
    std::string error_;
    std::string approved_;
    unsigned shownSerial_ = 0;
    guint shownTimer_ = 0;
    int probes_ = 0;                  // scripts asked since the load finished
    bool waitedLong_ = false;         // the give-up wait passed before the page was pictured
    bool settling_ = false;           // between the load's end and its finish
    bool settled_ = false;            // ... and the wait for the drawing is over
    bool snapshotPending_ = false;    // the page's picture of itself is on its way
    bool pictured_ = false;           // ... and has come, for this page
    bool drawnSinceSnapshot_ = false;  // the page drew after its picture was asked
    cairo_surface_t* snapshot_ = nullptr;  // shown until the window draws after a finish
    bool waitingForDrawing_ = false;  // a script answered before any drawing
    bool drawnSinceCommit_ = false;   // the picture has been drawn since the page came
    bool drawnSinceProbe_ = false;    // ... and since the last script was asked
};

std::unique_ptr<WebEngine> makeEngine(double scale, const std::string& agent) {
    if (!gdk_display_get_default()) return nullptr;
    return std::make_unique<WebKitEngine>(scale, agent);
}

std::string defaultUserAgent() {
    if (!gdk_display_get_default()) return "";
    WebKitSettings* settings = webkit_settings_new();
    const gchar* ua = webkit_settings_get_user_agent(settings);
    std::string agent = ua ? ua : "";
    g_object_unref(settings);
    return agent;
}

}  // namespace

}  // namespace KelpaPlatform

extern "C" const KelpaPlatform::WebKitModule* kelpa_webkit_module() {
    static const KelpaPlatform::WebKitModule module = {KelpaPlatform::makeEngine, KelpaPlatform::defaultUserAgent};
    return &module;
}
