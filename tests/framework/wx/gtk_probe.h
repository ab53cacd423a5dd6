// What the GUI tests read from GTK itself: the pixels of a window and the
// rectangle and minimum height that GTK gives a widget. Kept apart from the
// framework's headers, whose TRUE and FALSE clash with GLib's macros.
#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

namespace qelgui {

struct GtkBox {
    int x = 0, y = 0, width = 0, height = 0;
};

// Saves what the X server shows of `window` (a top-level widget) as a PNG
// file; answers an error text, empty on success.
std::string SaveWindowPng(GtkWidget* window, const std::string& path);
// The widget's allocation, relative to its window's drawing area.
GtkBox AllocationOf(GtkWidget* widget);
// The minimum height and width GTK asks for the widget (its theme and
// style sheets).
int MinimumHeightOf(GtkWidget* widget);
int MinimumWidthOf(GtkWidget* widget);
// The family fontconfig's current configuration picks for `family`.
std::string MatchedFamily(const std::string& family);

}  // namespace qelgui
