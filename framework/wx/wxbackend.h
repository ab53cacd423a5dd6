// The GUI back end of the dialog layer on wxWidgets (GTK 3), built as
// libqelfw_wx.so beside libqelfw.so.
//
// The framework opens the library at the first modal call of a process when
// a display is set (modaldriver.h, "Writing a GUI back end") and calls
// QelCreateGuiModalDriver. The driver shows each dialog in a QelWxDialog
// (wxdialog.h) laid out from its template, message boxes as
// wxMessageDialog and the file dialog as wxFileDialog. Everything runs on
// the thread that called DoModal.
//
// The toolkit is started once per process (qel::framework::wx::WxStart) and stays up until
// the process ends: a host that is no wx program gets a plain wxApp; a
// host that already runs wxWidgets keeps its own. Before GTK starts, the
// back end adds its font aliases (fonts.conf) to the system's fontconfig
// configuration; once GTK runs it installs its style sheet (gtk.css). Both
// files are compiled into the library.
#pragma once

#include <string>
#include <string_view>

#include <wx/font.h>
#include <wx/string.h>

#include "framework/dlgtemplate.h"
#include "framework/modaldriver.h"

class wxWindow;
class QelWxDialog;

// The factory the framework looks up with dlsym: a new driver (owned by the
// caller), or null when `interfaceVersion` is not the one this library was
// built for or the toolkit cannot open the display.
extern "C" CModalDriver* QelCreateGuiModalDriver(int interfaceVersion);

namespace qel::framework::wx {

// Starts the toolkit in this process (font aliases, wxApp, GTK, style
// sheet) the first time; answers whether it runs. A failed start is not
// tried again.
bool WxStart();

// The style class that the style sheet's rules apply to; the back end gives
// it to each of its dialog windows.
inline constexpr const char* kDialogStyleClass = "qel-dialog";
// Gives `window` (a top-level window) the style class above.
void WxApplyDialogStyle(wxWindow& window);
// The style class of the back end's message boxes (the style sheet marks
// their default button as in the dialogs).
inline constexpr const char* kMessageBoxStyleClass = "qel-message-box";

// The font a dialog of template `tpl` is shown in: the FONT statement's
// face, size, weight and italic; the toolkit's default GUI font when the
// template has none.
wxFont WxTemplateFont(const CDialogTemplate& tpl);
// The base units (average character width and height in pixels) of `font`,
// as wxWindow::GetDlgUnitBase computes them and ConvertDialogToPixels uses
// them: the 52 ASCII letters' extent, width (w / 26 + 1) / 2, and height.
wxSize WxBaseUnits(const wxFont& font);

// The innermost dialog window open in the back end, null when none.
QelWxDialog* WxActiveDialog();

// Text between the framework (UTF-16) and wx.
wxString WxString(std::u16string_view text);
std::u16string WxWide(const wxString& text);

}  // namespace qel::framework::wx
