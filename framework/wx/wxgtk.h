// What the GUI back end asks of GTK and fontconfig directly. Kept apart from
// the framework's headers, whose TRUE and FALSE clash with GLib's macros.
#pragma once

#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace qel::framework::wx {

// Adds fonts.conf (compiled in) to the system's fontconfig configuration
// and makes the result the current configuration. Called before GTK
// starts, so that every font the toolkit opens sees the aliases.
void WxLoadFontAliases();

// True when the display GTK would use can be opened: a Wayland display
// is taken on trust; an X display is opened and closed again. Asked before
// anything of the toolkit starts, since a GTK that fails to start cannot
// be cleaned up.
bool WxDisplayOpens();

// Sets the class of the windows' WM_CLASS (GDK would take the program's
// name with its first letter in capitals), so that a desktop entry's
// StartupWMClass can name the program's file name. Before GTK starts.
void WxGtkSetProgramClass(const std::string& name);

// Installs gtk.css (compiled in) for the default screen at application
// priority; answers an error text, empty when it loaded.
std::string WxGtkLoadStyleSheet();

// Adds a style class to a widget's style context (null: nothing).
void WxGtkAddStyleClass(GtkWidget* widget, const char* styleClass);

// A button of a message box: its label (GTK mnemonics, or a stock id) and
// the response the dialog answers when it is pressed.
struct WxGtkButton {
    std::string label;
    int response = 0;
};

// A new GTK message box (owned by the caller, qel::framework::wx::WxGtkDestroy): modal over
// `parent` (a GtkWindow, or null), showing `text` beside the icon of the
// icon theme named `iconName` (null or empty: none), with `buttons` left to
// right. The button of `defaultResponse` is the default (has-default, as
// Enter presses it) and has the focus. `styleClass` (may be null) is added
// to the dialog's style context.
GtkWidget* WxGtkNewMessageBox(GtkWidget* parent, const std::string& text, const std::string& title,
                              const char* iconName, const std::vector<WxGtkButton>& buttons, int defaultResponse,
                              const char* styleClass);
// Runs a GtkDialog's modal loop; answers the response (a negative
// GtkResponseType when it was closed otherwise).
int WxGtkRunDialog(GtkWidget* dialog);
// Destroys a widget made by qel::framework::wx::WxGtkNewMessageBox.
void WxGtkDestroy(GtkWidget* widget);
// Keeps the window's default button the default while `widget` (a combo
// box, say) has the focus: GTK hands has-default to a focused button that
// receives the default, and a combo box's inner button does.
void WxGtkKeepWindowDefault(GtkWidget* widget);

}  // namespace qel::framework::wx
