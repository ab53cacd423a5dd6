// What the GUI back end asks of GTK and fontconfig directly. Kept apart from
// the framework's headers, whose TRUE and FALSE clash with GLib's macros.
#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

// Adds fonts.conf (compiled in) to the system's fontconfig configuration
// and makes the result the current configuration. Called before GTK
// starts, so that every font the toolkit opens sees the aliases.
void QelWxLoadFontAliases();

// True when the display GTK would use can be opened: a Wayland display
// is taken on trust; an X display is opened and closed again. Asked before
// anything of the toolkit starts, since a GTK that fails to start cannot
// be cleaned up.
bool QelWxDisplayOpens();

// Installs gtk.css (compiled in) for the default screen at application
// priority; answers an error text, empty when it loaded.
std::string QelWxGtkLoadStyleSheet();

// Adds a style class to a widget's style context (null: nothing).
void QelWxGtkAddStyleClass(GtkWidget* widget, const char* styleClass);
