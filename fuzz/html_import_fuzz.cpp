// Arbitrary pages through CreateFromHtml, then GetHtml(true). The first byte
// chooses how the page comes: even, as a page file read by the host's loader
// (decoding included); odd, as the host's document built from the rest as
// UTF-8 text, which must come out of the import unchanged. Inline data:
// images are written to a temporary folder of the fuzzing process.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
#include "host/html/htmldepth.h"
#include "host/html/htmlisolation.h"
#include "host/html/htmlsource.h"
#include "page_refusal.h"
#include "html/cid_rewrite.h"
#include "html/html_import.h"
#include "model/tpjfile.h"

namespace {

// One page file per fuzzing process, removed at exit.
const std::string& PageFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qel_html_import_fuzz.XXXXXX";
        const int fd = ::mkstemp(templ.data());
        if (fd < 0) std::abort();
        ::close(fd);
        return templ;
    }();
    static const bool cleanup = std::atexit([] { ::unlink(PageFile().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

// The host's temporary folder of this process, where the import must write
// nothing (inline data: images stay in memory); removed at exit.
const std::string& TempFolder() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qel_html_import_fuzz_temp.XXXXXX";
        if (!::mkdtemp(templ.data())) std::abort();
        ::setenv("QELHOST_TEMP_DIR", templ.c_str(), 1);
        return templ;
    }();
    static const bool cleanup = std::atexit([] { std::filesystem::remove_all(TempFolder()); }) == 0;
    (void)cleanup;
    return path;
}

bool TempFolderIsEmpty() { return std::filesystem::is_empty(TempFolder()); }

}  // namespace

// The parse runs here, not in a child, so that the fuzzer sees the code the
// child runs (the records written and read back).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qel::host::SetHtmlParseInProcess(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool fromHost = (data[0] & 1) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string& file = PageFile();
    TempFolder();
    const std::u16string path = qel::framework::PathFromNative(file);

    qel::host::BeginExportReport();
    CQelTpjFile rec(TYPE_PROJECT);
    bool ok = false;
    if (fromHost) {
        const std::u16string text = qel::framework::Utf8ToWide(bytes);
        CQelHtmlData host(u"HTML");
        host.CreateNodeDataFromData(text.data(), static_cast<int>(text.size()), nullptr);
        auto* doc = dynamic_cast<Document*>(host.m_pRootNode);
        if (!doc) {
            if (!qel::fuzz::PageMayBeRefused(qel::framework::WideToUtf8(text))) std::abort();
            return 0;  // a page nested too deeply, or past the parse's memory, is refused
        }
        const std::u16string before = doc->getHTMLText();
        ok = qel::html::CreateFromHtml(rec, path, doc);
        if (doc->getHTMLText() != before) std::abort();  // the host's page is never changed
    } else {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) std::abort();
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        ok = qel::html::CreateFromHtml(rec, path, nullptr);
    }
    // Every readable text is a page, unless it is nested too deeply or needs
    // more memory than the parse may take.
    if (!ok &&
        (fromHost || !qel::fuzz::PageMayBeRefused(qel::framework::WideToUtf8(qel::host::DecodeHtmlBytes(bytes).text))))
        std::abort();
    if (!ok) return 0;

    // Content ids run image1, image2, ... in list order.
    for (int i = 0; i < rec.m_arrImages.GetSize(); ++i)
        if (rec.m_arrImages[i].m_strId != qel::framework::Format(u"image%d", i + 1)) std::abort();
    if (qel::html::GetHtml(rec, false) != rec.m_strHtml) std::abort();
    const std::u16string resolved = qel::html::GetHtml(rec, true);
    (void)resolved;
    if (!TempFolderIsEmpty()) std::abort();
    return 0;
}
