// Feeds arbitrary text to the dialog-script reader, then runs the script
// against a small dialog with every control kind, so that the actions meet
// real controls as well as missing ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/diagnostic.h"
#include "framework/dialog.h"
#include "framework/dlgscript.h"
#include "framework/extmodule.h"
#include "framework/filedialog.h"

namespace {

const char kTemplates[] = R"rc(
90 DIALOGEX 0, 0, 100, 100
BEGIN
    EDITTEXT 901,0,0,1,1
    EDITTEXT 902,0,0,1,1,ES_MULTILINE
    COMBOBOX 903,0,0,1,1,CBS_DROPDOWNLIST
    LISTBOX 904,0,0,1,1
    CONTROL "a",905,"Button",BS_AUTORADIOBUTTON | WS_GROUP,0,0,1,1
    CONTROL "b",906,"Button",BS_AUTORADIOBUTTON,0,0,1,1
    PUSHBUTTON "nested",907,0,0,1,1
    PUSHBUTTON "file",908,0,0,1,1
    DEFPUSHBUTTON "OK",IDOK,0,0,1,1
END
)rc";

int g_depth = 0;

class CFuzzDlg : public CDialog {
public:
    CFuzzDlg() : CDialog(90) {}
    std::u16string m_a, m_b;
    int m_combo = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, 901, m_a);
        DDX_Text(pDX, 902, m_b);
        DDX_CBIndex(pDX, 903, m_combo);
    }
    BOOL OnInitDialog() override {
        auto* combo = static_cast<CComboBox*>(GetDlgItem(903));
        auto* list = static_cast<CListBox*>(GetDlgItem(904));
        for (const char16_t* s : {u"one", u"two"}) {
            combo->AddString(s);
            list->AddString(s);
        }
        return CDialog::OnInitDialog();
    }
    void OnOK() override {
        UpdateData(TRUE);
        if (m_a == u"bad") {
            AfxMessageBox(u"bad");
            return;
        }
        CDialog::OnOK();
    }
    void OnNested() {
        if (g_depth > 8) return;  // a script can nest as deep as it has blocks
        ++g_depth;
        CFuzzDlg inner;
        inner.DoModal();
        --g_depth;
    }
    void OnFile() {
        CFileDialog fd(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST);
        fd.m_strInitialDir = u"/nonexistent-fuzz-folder";
        fd.DoModal();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CFuzzDlg, CDialog)
ON_BN_CLICKED(907, &CFuzzDlg::OnNested)
ON_BN_CLICKED(908, &CFuzzDlg::OnFile)
END_MESSAGE_MAP()

void RegisterTemplates() {
    static const QelResourceBlock block = {"dlgscript_fuzz", kTemplates, sizeof kTemplates - 1};
    static AFX_EXTENSION_MODULE module;
    if (AfxInitExtensionModule(module, &block)) new CDynLinkLibrary(module, false);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RegisterTemplates();
    qel::framework::SetDiagnosticSink([](std::string_view) {});  // the lines are not the point here
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    QelDialogScript script = qel::framework::ParseDialogScript(text);
    for (const QelScriptError& e : script.errors)
        if (e.line < 1 || e.message.empty()) std::abort();
    auto driver = qel::framework::CreateScriptDriver(std::move(script));
    CModalDriver* previous = AfxSetModalDriver(driver.get());
    CFuzzDlg dlg;
    const INT_PTR r = dlg.DoModal();
    if (r != IDOK && r != IDCANCEL) std::abort();
    AfxSetModalDriver(previous);
    return 0;
}
