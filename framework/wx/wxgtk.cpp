#include "framework/wx/wxgtk.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include <cstdlib>

// fonts.conf and gtk.css, compiled in (cmake/EmbedResource.cmake).
extern const char qel_wx_fonts_conf[];
extern const char qel_wx_gtk_css[];
extern const unsigned long qel_wx_gtk_css_size;

void qel::framework::wx::WxLoadFontAliases() {
    FcConfig* config = FcInitLoadConfig();  // the system's fonts.conf (FONTCONFIG_FILE honoured)
    if (!config) return;
    if (FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(qel_wx_fonts_conf), FcTrue) &&
        FcConfigBuildFonts(config))
        FcConfigSetCurrent(config);  // takes a reference of its own
    FcConfigDestroy(config);
}

void qel::framework::wx::WxGtkSetProgramClass(const std::string& name) { gdk_set_program_class(name.c_str()); }

bool qel::framework::wx::WxDisplayOpens() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

std::string qel::framework::wx::WxGtkLoadStyleSheet() {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen) return "no screen";
    GtkCssProvider* provider = gtk_css_provider_new();
    GError* error = nullptr;
    std::string result;
    if (gtk_css_provider_load_from_data(provider, qel_wx_gtk_css, static_cast<gssize>(qel_wx_gtk_css_size), &error)) {
        gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    } else {
        result = error ? error->message : "cannot load";
        if (error) g_error_free(error);
    }
    g_object_unref(provider);
    return result;
}

void qel::framework::wx::WxGtkAddStyleClass(GtkWidget* widget, const char* styleClass) {
    if (widget) gtk_style_context_add_class(gtk_widget_get_style_context(widget), styleClass);
}

GtkWidget* qel::framework::wx::WxGtkNewMessageBox(GtkWidget* parent, const std::string& text, const std::string& title,
                                                  const char* iconName,
                                                  const std::vector<qel::framework::wx::WxGtkButton>& buttons,
                                                  int defaultResponse, const char* styleClass) {
    GtkWindow* owner = parent && GTK_IS_WINDOW(parent) ? GTK_WINDOW(parent) : nullptr;
    GtkWidget* box =
        gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", text.c_str());
    g_object_ref_sink(box);
    gtk_window_set_title(GTK_WINDOW(box), title.c_str());
    gtk_window_set_position(GTK_WINDOW(box), owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    if (iconName && *iconName) {
        // GTK 3 message dialogs no longer show the icon of their message
        // type; the image is the only way left to have one.
        GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
        gtk_widget_show(image);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), image);
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
    // gtk_dialog_add_button makes each button able to be the default
    // (can-default); the default response gives one of them has-default.
    for (const qel::framework::wx::WxGtkButton& b : buttons)
        gtk_dialog_add_button(GTK_DIALOG(box), b.label.c_str(), b.response);
    gtk_dialog_set_default_response(GTK_DIALOG(box), defaultResponse);
    if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), defaultResponse))
        gtk_widget_grab_focus(button);
    if (styleClass) qel::framework::wx::WxGtkAddStyleClass(box, styleClass);
    return box;
}

int qel::framework::wx::WxGtkRunDialog(GtkWidget* dialog) {
    return dialog && GTK_IS_DIALOG(dialog) ? gtk_dialog_run(GTK_DIALOG(dialog)) : GTK_RESPONSE_NONE;
}

void qel::framework::wx::WxGtkDestroy(GtkWidget* widget) {
    if (!widget) return;
    gtk_widget_destroy(widget);
    g_object_unref(widget);
}

namespace {

void ClearReceivesDefault(GtkWidget* widget, gpointer) {
    if (GTK_IS_BUTTON(widget)) gtk_widget_set_receives_default(widget, FALSE);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), ClearReceivesDefault, nullptr);
}

}  // namespace

void qel::framework::wx::WxGtkKeepWindowDefault(GtkWidget* widget) {
    if (widget) ClearReceivesDefault(widget, nullptr);
}
