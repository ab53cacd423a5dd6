// The export command: one page or ToruCa file to one ToruCa output, from the
// record's creation to the editor's start. It is the only place in the module
// that shows an error message, and it owns its record for the whole call.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "dialogs/outputtypedlg.h"
#include "format/tpj_writer.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/dialog.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/strings.h"
#include "host/paths.h"
#include "host/report.h"
#include "host/shell.h"
#include "host/tempfile.h"
#include "model/tpjfile.h"
#include "plugin/tpjfileif.h"
#include "plugin/device.h"
#include "plugin/export.h"

namespace {

constexpr char16_t kLoadFailed[] = u"tpjファイルの作成に失敗しました。";
constexpr char16_t kWriteFailed[] = u"ファイル(%s)の作成に失敗しました。";

}  // namespace

namespace qel::plugin {

int DialogValueOfType(int type) {
    const qel::format::CardForm* form = qel::format::FormOfType(type);
    return (form ? *form : qel::format::kProjectForm).dialogValue;
}

OutputForm FormOfDialogValue(int value, int currentType) {
    if (const qel::format::CardForm* form = qel::format::FormOfDialogValue(value))
        return {form->type, form->defaultName};
    return {currentType, u""};
}

std::u16string QuoteArgument(const std::u16string& path) {
    std::u16string out = u"\"";
    std::size_t backslashes = 0;
    for (char16_t c : path) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out.append(backslashes * 2 + 1, u'\\');
        } else {
            out.append(backslashes, u'\\');
        }
        out += c;
        backslashes = 0;
    }
    // Backslashes before the closing quote would escape it.
    out.append(backslashes * 2, u'\\');
    out += u'"';
    return out;
}

std::u16string ProgramToStart(const std::u16string& editor) {
    // "./" keeps the shell service from searching PATH for a bare name and
    // from taking quotes around it off: what starts is the file that
    // is_file looked at.
    return editor.empty() || editor[0] == u'/' ? editor : u"./" + editor;
}

}  // namespace qel::plugin

namespace {

bool IsToruCaFile(const std::u16string& path) {
    const std::u16string ext = getBaseExt(path);
    return qel::framework::EqualsNoCase(ext, qel::format::kExtProject) ||
           qel::framework::EqualsNoCase(ext, qel::format::kExtToruca);
}

// Fills the record from the ToruCa file or the page at `path`. False, with
// the reason reported, when it could not; `loadedFromFile` tells which of
// the two it read.
bool LoadRecord(CQelTpjFileIF& record, const std::u16string& path, Node* hostDocument, bool& loadedFromFile) {
    const bool toruCaFile = IsToruCaFile(path);
    bool loaded = false;
    try {
        loaded = toruCaFile ? record.LoadFile(path) : record.CreateFromHtml(path, hostDocument);
    } catch (const std::exception& error) {
        // Memory for a page or file too large: the same failure as an
        // unreadable one, never an exception into the host.
        loaded = false;
        qel::host::ReportFailure(qel::host::DescribeFailure(error, u"", u"cannot be read"));
    }
    loadedFromFile = toruCaFile && loaded;
    // The loader's own reason, when it gave one, comes first and stays.
    if (!loaded)
        qel::host::ReportFailure(path +
                                 (toruCaFile ? u" cannot be read as a ToruCa file" : u" cannot be loaded as a page"));
    return loaded;
}

// Writes the record in the chosen form to a new file in the output folder:
// its path, or empty (reported, and the user told) when it was not written.
std::u16string WriteOutput(CQelTpjFileIF& record, const qel::plugin::OutputForm& form) {
    std::u16string outputPath;
    try {
        // The record's own writer streams the bytes into the file; an image
        // that exists but cannot be read, or one too large for the codec,
        // raises out of it.
        const auto* card = dynamic_cast<const CQelTpjFile*>(&record);
        outputPath = qel::host::WriteNewFile(
            qel::host::TemporaryFolder(), form.defaultName, [&](const qel::host::ByteWriter& write) {
                if (card) {
                    qel::format::WriteCardCp932(*card, write);
                } else {
                    const std::string bytes = qel::framework::WideToCp932(record.GetFileText());
                    write(bytes.data(), bytes.size());
                }
            });
        if (!outputPath.empty()) qel::host::ReportWritten(outputPath);
    } catch (const std::exception& error) {
        // Raised while the text was built: an image (or the icon) that
        // cannot be read or is too large.
        outputPath.clear();
        qel::host::ReportFailure(qel::host::DescribeFailure(error, u"image", u"cannot be read"));
    }
    if (outputPath.empty()) {
        const std::u16string message = qel::framework::Format(kWriteFailed, form.defaultName);
        qel::host::ReportFailure(u"output " + std::u16string(form.defaultName) + u" cannot be written");
        AfxMessageBox(message, MB_OK | MB_ICONSTOP, 0);
    }
    return outputPath;
}

void StartEditor(CQelTpjFileIF& record, const std::u16string& outputPath) {
    const std::u16string editor = qel::plugin::ProgramToStart(record.GetEditorCommand());
    if (!editor.empty() && is_file(editor)) CZorShellSv::exec(editor, qel::plugin::QuoteArgument(outputPath));
}

// The loaded record through the output method dialog (and, for a page, the
// settings dialog) to its file and the editor. Cancelling the output
// method dialog is no failure; cancelling the settings dialog is.
bool ExportRecord(CQelTpjFileIF& record, const std::u16string& path, bool loadedFromFile) {
    using namespace qel::plugin;
    const int startType = record.GetType();
    CQelTorucaOutputTypeDlg outputDialog(DialogValueOfType(startType), nullptr);
    if (outputDialog.DoModal() != IDOK) return true;
    const OutputForm form = FormOfDialogValue(outputDialog.m_nOutput, record.GetType());
    record.SetType(form.type);
    std::u16string outputPath = path;  // a ToruCa file already is what was asked for
    if (!loadedFromFile || record.GetType() != startType) {
        if (!loadedFromFile && !record.EditSettings(nullptr)) return false;
        outputPath = WriteOutput(record, form);
        if (outputPath.empty()) return false;
    }
    StartEditor(record, outputPath);
    return true;
}

bool RunExport(CQelDeviceIF& device, const std::u16string& path, Node* hostDocument) {
    qel::host::BeginExportReport();
    std::unique_ptr<CQelTpjFileIF> record(device.CreateProject());
    if (!record) return false;
    bool loadedFromFile = false;
    if (!LoadRecord(*record, path, hostDocument, loadedFromFile)) {
        AfxMessageBox(kLoadFailed, MB_OK | MB_ICONSTOP, 0);
        return false;
    }
    return ExportRecord(*record, path, loadedFromFile);
}

}  // namespace

bool CQelDeviceIFImpl::Export(const std::u16string& path, Node* hostDocument) {
    // Loading and writing turn their failures into results themselves; what
    // else could raise (memory for a dialog) must not unwind into the host,
    // which knows nothing of the module's exceptions.
    try {
        return RunExport(*this, path, hostDocument);
    } catch (const std::exception&) {
        return false;
    }
}
