#include "framework/wx/wxgtk.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include <cstdlib>

// fonts.conf and gtk.css, compiled in (cmake/EmbedResource.cmake).
extern const char qel_wx_fonts_conf[];
extern const char qel_wx_gtk_css[];
extern const unsigned long qel_wx_gtk_css_size;

void QelWxLoadFontAliases() {
    FcConfig* config = FcInitLoadConfig();  // the system's fonts.conf (FONTCONFIG_FILE honoured)
    if (!config) return;
    if (FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(qel_wx_fonts_conf), FcTrue) &&
        FcConfigBuildFonts(config))
        FcConfigSetCurrent(config);  // takes a reference of its own
    FcConfigDestroy(config);
}

bool QelWxDisplayOpens() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

std::string QelWxGtkLoadStyleSheet() {
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

void QelWxGtkAddStyleClass(GtkWidget* widget, const char* styleClass) {
    if (widget) gtk_style_context_add_class(gtk_widget_get_style_context(widget), styleClass);
}
