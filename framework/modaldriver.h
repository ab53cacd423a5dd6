// Modal drivers: what runs a dialog's modal loop, shows message boxes and
// runs the file dialog. The framework holds one driver at a time.
//
// Choice of the driver, made at the first modal call of a process (and again
// after AfxResetModalDriver):
//   1. a driver installed with AfxSetModalDriver (tests install one);
//   2. the driver that the host's chooser returns (SetModalDriverChooser;
//      the host's service library installs one that answers the script
//      driver, dlgscript.h, when its dialog-script variable is set);
//   3. DISPLAY or WAYLAND_DISPLAY is set and the GUI back end loads: the
//      framework opens libqelfw_wx.so from its own folder, calls its
//      QelCreateGuiModalDriver and uses the driver it returns;
//   4. otherwise the no-display driver: every dialog is accepted as
//      initialised (as if OK were pressed at once) with the notice
//      "PREFIXno display: dialog N not shown; its initial values were
//      taken" on standard error;
//      a message box is printed as "PREFIXmessage: TEXT" and answered OK;
//      the file dialog is cancelled. PREFIX is the host's prefix
//      (diagnostic.h).
//
// ---------------------------------------------------------------------------
// Writing a GUI back end
//
// A back end is a shared library `libqelfw_wx.so`, placed beside libqelfw.so,
// that exports
//
//     extern "C" CModalDriver* QelCreateGuiModalDriver(int interfaceVersion);
//
// The framework passes QEL_MODAL_DRIVER_INTERFACE_VERSION; a back end that was
// built for another version, or that cannot open the display, returns null
// and the framework falls back to the no-display driver. The framework owns
// the driver returned and never unloads the library.
//
// RunModal(dlg) is called with the dialog created and initialised: every
// control exists (dlg.GetControls(), in tab order, with id, window class,
// kind, style, text, rectangle in dialog units and in pixels through
// dlg.MapDialogRect, and the class's own state: check, entries, selection,
// edit selection, dropped width), OnInitDialog has run and the focus is
// placed (dlg.GetFocus()). The back end then
//   - builds its window from that state, owned by the innermost open dialog
//     (AfxGetActiveDialog() before this one opened; dlg.GetParent() when set);
//   - installs a CDialogObserver (dlg.SetObserver) to mirror every later
//     change into its widgets, without turning those updates into user
//     events; QelChange::rebound means another object now stands at a
//     control's index (look controls up by index or id, not by a pointer
//     kept from before);
//   - feeds the user's input back only through the functions of
//     useraction.h (qel::framework::UserClick, qel::framework::UserSetText, qel::framework::UserSelect,
//     qel::framework::UserDoubleClick, qel::framework::UserSetFocus, qel::framework::UserOk,
//     qel::framework::UserCancel): they update the control state and send the same notifications (BN_CLICKED, auto
//     radio groups, EN_CHANGE, CBN_SELCHANGE, LBN_SELCHANGE) that a script does, so the dialog's code cannot tell the
//     drivers apart. An edit's line breaks are "\r\n" in the control and may be given as "\n";
//   - runs a nested event loop until dlg.IsEnded() (told by QelChange::ended),
//     then removes its observer and destroys its window before returning.
// Handlers may open nested dialogs, message boxes and file dialogs from
// inside a user action; the driver is then re-entered (RunModal within
// RunModal) and must run the inner loop to its end before the outer one
// goes on. Everything happens on the thread that called DoModal.
//
// MessageBox(owner, text, style): a modal message box with the icon of
// `style & MB_ICONMASK` and the buttons of `style & MB_TYPEMASK`; returns the
// id of the button pressed (IDOK for MB_OK). MessageBoxWithButtons(owner,
// text, icon, labels, defaultIndex): the same box with buttons of its own
// labels, left to right; returns the index of the button pressed. RunFileDialog(dlg): a modal file
// chooser that starts in dlg.m_strInitialDir and accepts a path through
// qel::framework::FileDialogAccept (filedialog.h), which applies the dialog's flags;
// returns IDOK or IDCANCEL. GetDialogBaseUnits(tpl): the pixels of one
// average character (width, height) of the template's font, which the
// dialog uses to map dialog units (x * cx / 4, y * cy / 8).
#pragma once

#include "framework/api.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/dlgtemplate.h"
#include "framework/wintypes.h"

class CDialog;
class CFileDialog;

inline constexpr int QEL_MODAL_DRIVER_INTERFACE_VERSION = 2;

class QEL_FW_API CModalDriver {
public:
    virtual ~CModalDriver();

    // A short name for messages and tests: "headless", "script", "gui", "test".
    virtual const char* Name() const = 0;
    // Runs the modal loop of the open dialog `dlg` until it has ended.
    // Returning while it is open makes DoModal cancel it (IDCANCEL).
    virtual void RunModal(CDialog& dlg) = 0;
    // Shows a message box; returns IDOK, IDCANCEL, IDYES or IDNO.
    virtual int MessageBox(CWnd* owner, const std::u16string& text, UINT style) = 0;
    // Shows a message box with the icon of `icon & MB_ICONMASK` and one
    // button per label (one to three, left to right; '&' marks the access
    // key), the button `defaultIndex` the default. Returns the index of the
    // button pressed; a box closed otherwise answers its last button. This
    // default, for drivers that show no windows, passes the text to
    // MessageBox with MB_OK and answers -1: no button was pressed.
    virtual int MessageBoxWithButtons(CWnd* owner, const std::u16string& text, UINT icon,
                                      const std::vector<std::u16string>& labels, int defaultIndex);
    // Runs the file dialog; IDOK (the path is in dlg.GetPathName()) or IDCANCEL.
    virtual INT_PTR RunFileDialog(CFileDialog& dlg) = 0;
    // Base units for the template (default: AfxGetDialogBaseUnits()).
    virtual CSize GetDialogBaseUnits(const CDialogTemplate& tpl);
};

// The driver in force, chosen as the file comment says. Never null.
QEL_FW_API CModalDriver& AfxGetModalDriver();
// Installs `driver` (not owned; null removes it) and returns the driver
// installed before (null when the framework had chosen its own).
QEL_FW_API CModalDriver* AfxSetModalDriver(CModalDriver* driver);
// Forgets the framework's own choice (a parsed script included); the next
// modal call chooses again (the host's chooser, the environment). An
// installed driver stays.
QEL_FW_API void AfxResetModalDriver();

// The innermost dialog open now (running DoModal), null when none.
QEL_FW_API CDialog* AfxGetActiveDialog();

namespace qel::framework {

// The built-in drivers, for tests and for programs that choose themselves.
QEL_FW_API std::unique_ptr<CModalDriver> CreateNoDisplayDriver();

// "PREFIXmessage: TEXT", the line that the no-display and script drivers
// print for a message box (UTF-8; a line break of the text is written \n).
std::string MessageLine(const std::u16string& text);
// The answer of a driver that shows no message box: IDOK, or IDYES for the
// yes/no styles.
int DefaultMessageAnswer(UINT style);

// What became of the GUI back end at the framework's last choice of a
// driver (step 3 above): a host that must not fall back to the no-display
// driver while a display is set (the user asked for windows) asks this.
enum class GuiBackEnd {
    notTried,        // no display set, or a host's driver was chosen first
    inUse,           // the back end's driver was chosen
    notBuilt,        // libqelfw_wx.so is not beside the framework library
    notLoaded,       // it is there but does not load (detail: the loader's text)
    displayRefused,  // it loaded but cannot open the display (detail: "DISPLAY=:5")
};
struct GuiBackEndState {
    GuiBackEnd state = GuiBackEnd::notTried;
    std::string detail;  // for the failures, as the values above say
};
QEL_FW_API GuiBackEndState LastGuiBackEndState();

// A host's own choice of the driver, asked at each choice that no installed
// driver preempts; a chooser that returns null (or none installed) leaves the
// choice to the framework (display, then no display). Returns the chooser
// installed before.
using ModalDriverChooser = std::function<std::unique_ptr<CModalDriver>()>;
QEL_FW_API ModalDriverChooser SetModalDriverChooser(ModalDriverChooser chooser);

}  // namespace qel::framework
