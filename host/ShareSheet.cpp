// The desktop's compose sheet: a modal dialog over the game window with the
// text to post; Post opens the service's web share page with the text as it
// then stands, Cancel closes it.
#include <gtk/gtk.h>

#include "host/HostServices.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

namespace KelpaHost {

namespace {

struct Sheet {
    ShareService service;
    GtkTextBuffer* buffer;
    std::function<void()> dismissed;
};

void onResponse(GtkDialog* dialog, gint response, gpointer data) {
    Sheet* sheet = static_cast<Sheet*>(data);
    if (response == GTK_RESPONSE_ACCEPT) {
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(sheet->buffer, &start, &end);
        gchar* text = gtk_text_buffer_get_text(sheet->buffer, &start, &end, FALSE);
        std::string url = shareWebURL(sheet->service, text ? text : "");
        g_free(text);
        hostOpenURL(url.c_str());
    }
    std::function<void()> dismissed = std::move(sheet->dismissed);
    gtk_widget_destroy(GTK_WIDGET(dialog));
    if (dismissed) dismissed();
}

void freeSheet(gpointer data, GClosure*) { delete static_cast<Sheet*>(data); }

}  // namespace

void DesktopServices::presentShareSheet(ShareService service, const std::string& text, std::function<void()> dismissed) {
    KelpaPlatform::UIApplication* app = KelpaPlatform::UIApplication::shared();
    if (!app || !app->hasDisplay()) {
        PrintingServices::presentShareSheet(service, text, std::move(dismissed));
        return;
    }
    GtkWindow* parent = nullptr;
    if (KelpaPlatform::UIWindow* w = app->keyWindow()) {
        if (w->surface()) parent = GTK_WINDOW(w->surface()->nativeWindow());
    }
    const char* title = service == ShareService::Twitter ? "Twitter" : "Facebook";
    GtkWidget* dialog = gtk_dialog_new_with_buttons(title, parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                    "_Cancel", GTK_RESPONSE_CANCEL, "_Post", GTK_RESPONSE_ACCEPT,
                                                    nullptr);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 320, 200);
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, text.c_str(), -1);
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scroller), view);
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), scroller, TRUE, TRUE, 6);
    Sheet* sheet = new Sheet{service, buffer, std::move(dismissed)};
    g_signal_connect_data(dialog, "response", G_CALLBACK(onResponse), sheet, freeSheet, GConnectFlags(0));
    gtk_widget_show_all(dialog);
}

}  // namespace KelpaHost
