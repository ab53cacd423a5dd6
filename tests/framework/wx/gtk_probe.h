// What the GUI tests read from GTK itself: the pixels of a window and the
// rectangle and minimum height that GTK gives a widget. Kept apart from the
// framework's headers, whose TRUE and FALSE clash with GLib's macros.
#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

namespace qel::test::gui {

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
// What of the text a control shows does not fit it, empty when all of it
// does: for an entry, its whole value against its text area; otherwise
// the drawn pixels (ink) of each label inside the control (a button's,
// a check box's, a frame's label, or the control itself) against the
// control's rectangle.
std::string ClippedText(GtkWidget* control);
// True when the widget may be its window's default and is it now
// (can-default and has-default), as GTK marks the button Enter presses.
bool IsDefaultButton(GtkWidget* widget);
// The button of a GtkDialog that answers `response`, null when none.
GtkWidget* DialogButton(GtkWidget* dialog, int response);
// A button's label as GTK holds it ("_Open Folder"), empty when none.
std::string ButtonLabel(GtkWidget* button);
// Sets *responded when the GtkDialog gives a response, until
// StopWatching(dialog, the answer).
unsigned long WatchResponse(GtkWidget* dialog, bool* responded);
void StopWatching(GtkWidget* dialog, unsigned long watch);
// Ends a running GtkDialog with `response`.
void RespondToDialog(GtkWidget* dialog, int response);
// The icon name a GtkMessageDialog shows beside its text, empty when none.
std::string MessageIconName(GtkWidget* dialog);
// Whether the widget is on the screen; its window's scale factor.
bool IsMapped(GtkWidget* widget);
int ScaleFactorOf(GtkWidget* widget);
// The family fontconfig's current configuration picks for `family`.
std::string MatchedFamily(const std::string& family);

}  // namespace qel::test::gui
