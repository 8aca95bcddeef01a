// The window on a GTK display: a fixed-size GtkWindow of the window's size in
// points times the zoom, one drawing area that paints the view tree with
// cairo and turns mouse button 1 and touch events into touches in points,
// and the window's focus, iconify and close events as lifecycle events. A
// window destroyed from outside (the X window gone) ends the application
// like a close; both widgets stay referenced until the surface goes.
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <cmath>
#include <set>
#include <string>

#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

namespace KelpaPlatform {

namespace {

class GtkWindowSurface : public UIWindowSurface {
public:
    GtkWindowSurface(UIWindow* owner, double zoom, const std::string& title) : owner_(owner), zoom_(zoom) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(window_);
        gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        area_ = gtk_drawing_area_new();
        g_object_ref_sink(area_);
        const CGRect& f = owner->frame();
        gtk_widget_set_size_request(area_, int(std::lround(f.size.width * zoom)), int(std::lround(f.size.height * zoom)));
        gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK |
                                         GDK_TOUCH_MASK);
        gtk_container_add(GTK_CONTAINER(window_), area_);

        g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
        g_signal_connect(area_, "button-press-event", G_CALLBACK(onButton), this);
        g_signal_connect(area_, "button-release-event", G_CALLBACK(onButton), this);
        g_signal_connect(area_, "motion-notify-event", G_CALLBACK(onMotion), this);
        g_signal_connect(area_, "touch-event", G_CALLBACK(onTouch), this);
        g_signal_connect(window_, "focus-in-event", G_CALLBACK(onFocusIn), this);
        g_signal_connect(window_, "focus-out-event", G_CALLBACK(onFocusOut), this);
        g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
        g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
        g_signal_connect(window_, "destroy", G_CALLBACK(onDestroy), this);
    }

    ~GtkWindowSurface() override {
#ifdef GDK_WINDOWING_X11
        if (clock_) {
            g_signal_handlers_disconnect_matched(clock_, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                                 reinterpret_cast<gpointer>(onBeforePaint), nullptr);
            g_signal_handlers_disconnect_matched(clock_, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                                 reinterpret_cast<gpointer>(onAfterPaint), nullptr);
            if (painting_) onAfterPaint(clock_, gtk_widget_get_display(window_));
            g_object_unref(clock_);
        }
#endif
        g_signal_handlers_disconnect_by_data(area_, this);
        g_signal_handlers_disconnect_by_data(window_, this);
        if (!destroyed_) gtk_widget_destroy(window_);
        g_object_unref(area_);
        g_object_unref(window_);
    }

    void show() override {
        if (destroyed_) return;
        gtk_widget_show_all(window_);
#ifdef GDK_WINDOWING_X11
        // A window destroyed by another client (a window manager, xdotool)
        // may have a paint's requests in flight; the server answers them
        // with errors that GDK would end the program on before it sees the
        // window gone. Errors of a paint are of no consequence: a paint
        // whose window went paints nothing.
        GdkDisplay* display = gtk_widget_get_display(window_);
        GdkFrameClock* clock = gtk_widget_get_frame_clock(window_);
        if (display && GDK_IS_X11_DISPLAY(display) && clock && !clock_) {
            clock_ = GDK_FRAME_CLOCK(g_object_ref(clock));
            g_signal_connect(clock_, "before-paint", G_CALLBACK(onBeforePaint), display);
            g_signal_connect(clock_, "after-paint", G_CALLBACK(onAfterPaint), display);
        }
#endif
    }
    void setNeedsDisplay() override {
        if (!destroyed_) gtk_widget_queue_draw(area_);
    }
    void* nativeWindow() override { return destroyed_ ? nullptr : window_; }

private:
#ifdef GDK_WINDOWING_X11
    static void onBeforePaint(GdkFrameClock*, gpointer display) {
        gdk_x11_display_error_trap_push(GDK_DISPLAY(display));
        painting_ = true;
    }
    static void onAfterPaint(GdkFrameClock*, gpointer display) {
        if (!painting_) return;
        painting_ = false;
        gdk_x11_display_error_trap_pop_ignored(GDK_DISPLAY(display));
    }
#endif

    static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
        auto* self = static_cast<GtkWindowSurface*>(data);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_scale(cr, self->zoom_, self->zoom_);
        renderViewTree(self->owner_, cr);
        return TRUE;
    }

    CGPoint toPoints(double x, double y) const { return CGPoint{x / zoom_, y / zoom_}; }

    void send(UITouchPhase phase, int64_t id, double x, double y) {
        UITouch t;
        t.identifier = id;
        t.windowLocation = toPoints(x, y);
        owner_->sendTouches(phase, UITouchSet{t});
    }

    static gboolean onButton(GtkWidget*, GdkEventButton* e, gpointer data) {
        auto* self = static_cast<GtkWindowSurface*>(data);
        // Pointer events made up from touches come in as touches already.
        if (e->button != 1 || gdk_event_get_pointer_emulated(reinterpret_cast<GdkEvent*>(e))) return FALSE;
        if (e->type == GDK_BUTTON_PRESS) {
            self->mouseDown_ = true;
            self->send(UITouchPhase::Began, kMouseTouch, e->x, e->y);
        } else if (e->type == GDK_BUTTON_RELEASE && self->mouseDown_) {
            self->mouseDown_ = false;
            self->send(UITouchPhase::Ended, kMouseTouch, e->x, e->y);
        }
        return TRUE;
    }

    static gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
        auto* self = static_cast<GtkWindowSurface*>(data);
        if (!self->mouseDown_ || gdk_event_get_pointer_emulated(reinterpret_cast<GdkEvent*>(e))) return FALSE;
        self->send(UITouchPhase::Moved, kMouseTouch, e->x, e->y);
        return TRUE;
    }

    static gboolean onTouch(GtkWidget*, GdkEventTouch* e, gpointer data) {
        auto* self = static_cast<GtkWindowSurface*>(data);
        int64_t id = int64_t(reinterpret_cast<intptr_t>(e->sequence)) + 1;
        switch (e->type) {
        case GDK_TOUCH_BEGIN: self->send(UITouchPhase::Began, id, e->x, e->y); break;
        case GDK_TOUCH_UPDATE: self->send(UITouchPhase::Moved, id, e->x, e->y); break;
        case GDK_TOUCH_END: self->send(UITouchPhase::Ended, id, e->x, e->y); break;
        case GDK_TOUCH_CANCEL: self->send(UITouchPhase::Cancelled, id, e->x, e->y); break;
        default: return FALSE;
        }
        return TRUE;
    }

    static gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer) {
        if (UIApplication* app = UIApplication::shared()) app->becomeActive();
        return FALSE;
    }

    static gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer) {
        if (UIApplication* app = UIApplication::shared()) app->resignActive();
        return FALSE;
    }

    static gboolean onWindowState(GtkWidget*, GdkEventWindowState* e, gpointer) {
        UIApplication* app = UIApplication::shared();
        if (!app || !(e->changed_mask & GDK_WINDOW_STATE_ICONIFIED)) return FALSE;
        if (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) {
            app->enterBackground();
        } else {
            app->enterForeground();
        }
        return FALSE;
    }

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
        if (UIApplication* app = UIApplication::shared()) app->terminate();
        return TRUE;  // the window goes at exit, after the game thread
    }

    static void onDestroy(GtkWidget*, gpointer data) {
        static_cast<GtkWindowSurface*>(data)->destroyed_ = true;
        if (UIApplication* app = UIApplication::shared()) app->terminate();
    }

    static constexpr int64_t kMouseTouch = 0;
    UIWindow* owner_;
    double zoom_;
    GtkWidget* window_ = nullptr;
    GtkWidget* area_ = nullptr;
    bool mouseDown_ = false;
    bool destroyed_ = false;
    GdkFrameClock* clock_ = nullptr;
    static inline bool painting_ = false;  // a paint's error trap is pushed
};

}  // namespace

std::unique_ptr<UIWindowSurface> makeGtkWindowSurface(UIWindow* window, double zoom, const std::string& title) {
    return std::make_unique<GtkWindowSurface>(window, zoom, title);
}

}  // namespace KelpaPlatform
