// LoadFile on arbitrary files, then GetFileText in every form, and the
// project text read back. Attachments go to a temporary folder of the
// target's own, emptied before every input; nothing may appear beside it,
// and every path the record names must lie in it.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "framework/codepage.h"
#include "format/tpj_reader.h"
#include "format/tpj_writer.h"
#include "host/tempfile.h"
#include "model/tpjfile.h"

namespace fs = std::filesystem;

namespace {

fs::path g_root;

void Setup() {
    std::string templ = (fs::temp_directory_path() / "reader_fuzz.XXXXXX").string();
    if (!::mkdtemp(templ.data())) std::abort();
    g_root = templ;
    fs::create_directories(g_root / "temp");
    ::setenv("QELHOST_TEMP_DIR", (g_root / "temp").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_root, ec);
    });
}

// A folder the reader made for one part whose name was taken.
bool IsOwnFolder(const fs::path& dir) {
    return dir.parent_path() == g_root / "temp" && dir.filename().string().rfind(qel::host::kOwnFolderPrefix, 0) == 0;
}

void CheckInside(const std::u16string& path) {
    if (path.empty()) return;
    const fs::path dir = fs::path(qel::framework::PathToNative(path)).parent_path();
    if (dir != g_root / "temp" && !IsOwnFolder(dir)) std::abort();
}

// True when a value the writer may put on a header line holds a line break
// (a CR alone inside a line of the file read), which the writer refuses.
bool HeaderValueBreaksLine(const CQelTpjFile& rec) {
    std::u16string icon, title;
    rec.GetUniqueIcon(icon, title);
    std::u16string values = rec.GetVersion() + rec.GetUrl() + rec.GetIpId() + rec.GetSortId() + rec.GetExpires() +
                            rec.GetLastModified() + rec.m_strBoundary + title;
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i) values += rec.m_arrImages[i].m_strId;
    return values.find_first_of(u"\r\n") != std::u16string::npos;
}

// The page as the writer writes it: a LF alone becomes CR LF.
std::u16string WithCrLf(const std::u16string& page) {
    std::u16string out;
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == u'\n' && (i == 0 || page[i - 1] != u'\r')) out += u'\r';
        out += page[i];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (g_root.empty()) Setup();
    for (const auto& e : fs::directory_iterator(g_root / "temp")) fs::remove_all(e.path());
    {
        std::ofstream out(g_root / "in.trc", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    CQelTpjFile rec(TYPE_PROJECT);
    if (!qel::format::LoadFile(rec, qel::framework::PathFromNative((g_root / "in.trc").string()))) std::abort();
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i) CheckInside(rec.m_arrImages[i].m_strPath);
    std::u16string icon, title;
    rec.GetUniqueIcon(icon, title);
    CheckInside(icon);
    for (int type : {TYPE_SNIP, TYPE_CARD, TYPE_PROJECT}) {
        rec.SetType(type);
        try {
            (void)qel::format::GetFileText(rec);
        } catch (const std::invalid_argument&) {
            // Refused whole, and only for a value with a line break.
            if (!HeaderValueBreaksLine(rec)) std::abort();
            return 0;
        }
    }
    // What was read is written whole and reads back the same: the page comes
    // back as code page 932 holds it (a character it lacks, such as the
    // U+FFFD of a byte that was not code page 932, is written as a
    // reference), its lines ended by CR LF, whatever it holds (NUL, lines
    // that start with hyphens).
    {
        const std::string written = qel::framework::WideToCp932(qel::format::GetFileText(rec));
        std::ofstream out(g_root / "again.tpj", std::ios::binary | std::ios::trunc);
        out.write(written.data(), static_cast<std::streamsize>(written.size()));
    }
    CQelTpjFile again(TYPE_PROJECT);
    if (!qel::format::LoadFile(again, qel::framework::PathFromNative((g_root / "again.tpj").string()))) std::abort();
    fs::remove(g_root / "again.tpj");
    if (again.m_strHtml != WithCrLf(qel::framework::Cp932ToWide(qel::framework::WideToCp932(rec.m_strHtml))))
        std::abort();
    // Only the input and the temporary folder, which holds plain files and
    // folders of one part each.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(g_root)) {
        ++entries;
        if (e.path().filename() != "in.trc" && e.path().filename() != "temp") std::abort();
    }
    if (entries != 2) std::abort();
    for (const auto& e : fs::recursive_directory_iterator(g_root / "temp")) {
        if (e.is_symlink()) std::abort();
        if (e.is_directory() ? !IsOwnFolder(e.path()) : !e.is_regular_file()) std::abort();
    }
    return 0;
}
