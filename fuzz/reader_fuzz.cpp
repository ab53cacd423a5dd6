// LoadFile on arbitrary files, then GetFileText in every form, and the
// project text read back. Attachments go to a temporary folder of the
// target's own, emptied before every input; nothing may appear beside it,
// and every path the record names must lie in it.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/codepage.h"
#include "format/tpj_reader.h"
#include "format/tpj_writer.h"
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

void CheckInside(const std::u16string& path) {
    if (!path.empty() && fs::path(qel::framework::PathToNative(path)).parent_path() != g_root / "temp") std::abort();
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
        (void)qel::format::GetFileText(rec);
    }
    // What was read is written whole and reads back the same: the page comes
    // back as code page 932 holds it (a character it lacks, such as the
    // U+FFFD of a byte that was not code page 932, is written as a
    // reference) with the three line ends the writer puts after it, whatever
    // it holds (NUL, lines that start with hyphens).
    {
        const std::string written = qel::framework::WideToCp932(qel::format::GetFileText(rec));
        std::ofstream out(g_root / "again.tpj", std::ios::binary | std::ios::trunc);
        out.write(written.data(), static_cast<std::streamsize>(written.size()));
    }
    CQelTpjFile again(TYPE_PROJECT);
    if (!qel::format::LoadFile(again, qel::framework::PathFromNative((g_root / "again.tpj").string()))) std::abort();
    fs::remove(g_root / "again.tpj");
    if (again.m_strHtml != qel::framework::Cp932ToWide(qel::framework::WideToCp932(rec.m_strHtml)) + u"\r\n\r\n\r\n")
        std::abort();
    // Only the input and the temporary folder, which holds plain files.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(g_root)) {
        ++entries;
        if (e.path().filename() != "in.trc" && e.path().filename() != "temp") std::abort();
    }
    if (entries != 2) std::abort();
    for (const auto& e : fs::directory_iterator(g_root / "temp"))
        if (!e.is_regular_file() || e.is_symlink()) std::abort();
    return 0;
}
