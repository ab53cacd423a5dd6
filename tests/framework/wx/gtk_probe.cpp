#include "tests/framework/wx/gtk_probe.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>

#include <vector>

namespace qel::test::gui {

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

namespace {

void CollectLabels(GtkWidget* widget, gpointer data) {
    auto& labels = *static_cast<std::vector<GtkWidget*>*>(data);
    if (GTK_IS_LABEL(widget)) labels.push_back(widget);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), CollectLabels, data);
}

std::string Describe(const char* what, const char* text, int x, int y, int w, int h, int cw, int ch) {
    return std::string(what) + " \"" + (text ? text : "") + "\" at " + std::to_string(x) + "," + std::to_string(y) +
           " size " + std::to_string(w) + "x" + std::to_string(h) + " outside " + std::to_string(cw) + "x" +
           std::to_string(ch);
}

}  // namespace

std::string ClippedText(GtkWidget* control) {
    if (!control || !gtk_widget_get_visible(control)) return "";
    GtkAllocation box{};
    gtk_widget_get_allocation(control, &box);
    if (GTK_IS_ENTRY(control)) {
        GtkEntry* entry = GTK_ENTRY(control);
        GdkRectangle area{};
        gtk_entry_get_text_area(entry, &area);
        PangoRectangle logical{};
        pango_layout_get_pixel_extents(gtk_entry_get_layout(entry), nullptr, &logical);
        if (logical.width <= area.width) return "";
        return Describe("entry text", gtk_entry_get_text(entry), area.x, area.y, logical.width, logical.height,
                        area.width, area.height);
    }
    std::vector<GtkWidget*> labels;
    CollectLabels(control, &labels);
    for (GtkWidget* label : labels) {
        const char* text = gtk_label_get_text(GTK_LABEL(label));
        if (!gtk_widget_get_visible(label) || !text || !*text) continue;
        PangoRectangle ink{};
        pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), &ink, nullptr);
        int lx = 0, ly = 0;
        gtk_label_get_layout_offsets(GTK_LABEL(label), &lx, &ly);  // where the layout is drawn, allocation coordinates
        GtkAllocation at{};
        gtk_widget_get_allocation(label, &at);
        int x = 0, y = 0;
        if (!gtk_widget_translate_coordinates(label, control, lx - at.x + ink.x, ly - at.y + ink.y, &x, &y)) continue;
        if (x < 0 || y < 0 || x + ink.width > box.width || y + ink.height > box.height)
            return Describe("label", text, x, y, ink.width, ink.height, box.width, box.height);
    }
    return "";
}

bool IsDefaultButton(GtkWidget* widget) {
    return widget && gtk_widget_get_can_default(widget) && gtk_widget_has_default(widget);
}

GtkWidget* DialogButton(GtkWidget* dialog, int response) {
    return dialog && GTK_IS_DIALOG(dialog) ? gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response) : nullptr;
}

std::string ButtonLabel(GtkWidget* button) {
    const char* label = button && GTK_IS_BUTTON(button) ? gtk_button_get_label(GTK_BUTTON(button)) : nullptr;
    return label ? label : "";
}

namespace {
void SetResponded(GtkDialog*, gint, gpointer flag) { *static_cast<bool*>(flag) = true; }
}  // namespace

unsigned long WatchResponse(GtkWidget* dialog, bool* responded) {
    return dialog ? g_signal_connect(dialog, "response", G_CALLBACK(SetResponded), responded) : 0;
}

void StopWatching(GtkWidget* dialog, unsigned long watch) {
    if (dialog && watch) g_signal_handler_disconnect(dialog, watch);
}

void RespondToDialog(GtkWidget* dialog, int response) {
    if (dialog && GTK_IS_DIALOG(dialog)) gtk_dialog_response(GTK_DIALOG(dialog), response);
}

std::string MessageIconName(GtkWidget* dialog) {
    if (!dialog || !GTK_IS_MESSAGE_DIALOG(dialog)) return "";
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_message_dialog_get_image(GTK_MESSAGE_DIALOG(dialog));
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (!image || !GTK_IS_IMAGE(image) || !gtk_widget_get_visible(image)) return "";
    const gchar* name = nullptr;
    if (gtk_image_get_storage_type(GTK_IMAGE(image)) == GTK_IMAGE_ICON_NAME)
        gtk_image_get_icon_name(GTK_IMAGE(image), &name, nullptr);
    return name ? name : "";
}

bool IsMapped(GtkWidget* widget) { return widget && gtk_widget_get_mapped(widget); }

int ScaleFactorOf(GtkWidget* widget) { return widget ? gtk_widget_get_scale_factor(widget) : 1; }

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

}  // namespace qel::test::gui
