#include "tests/framework/wx/gtk_probe.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>

namespace qelgui {

std::string SaveWindowPng(GtkWidget* window, const std::string& path) {
    GdkWindow* gdk = window ? gtk_widget_get_window(window) : nullptr;
    if (!gdk) return "the window is not realized";
    const int w = gdk_window_get_width(gdk), h = gdk_window_get_height(gdk);
    GdkPixbuf* pixels = gdk_pixbuf_get_from_window(gdk, 0, 0, w, h);
    if (!pixels) return "cannot read the window's pixels";
    GError* error = nullptr;
    std::string result;
    if (!gdk_pixbuf_save(pixels, path.c_str(), "png", &error, nullptr)) {
        result = error ? error->message : "cannot save";
        if (error) g_error_free(error);
    }
    g_object_unref(pixels);
    return result;
}

GtkBox AllocationOf(GtkWidget* widget) {
    GtkAllocation a{};
    if (widget) gtk_widget_get_allocation(widget, &a);
    return GtkBox{a.x, a.y, a.width, a.height};
}

int MinimumHeightOf(GtkWidget* widget) {
    int minimum = 0, natural = 0;
    if (widget) gtk_widget_get_preferred_height(widget, &minimum, &natural);
    return minimum;
}

int MinimumWidthOf(GtkWidget* widget) {
    int minimum = 0, natural = 0;
    if (widget) gtk_widget_get_preferred_width(widget, &minimum, &natural);
    return minimum;
}

std::string MatchedFamily(const std::string& family) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string found;
    FcChar8* name = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) found = reinterpret_cast<char*>(name);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace qelgui
