// toruca convert and toruca extract: a card in another form, and a card's
// page with its images in a folder of their own.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/structure.h"
#include "format/header_lines.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "host/url.h"
#include "html/cid_rewrite.h"

namespace fs = std::filesystem;

namespace qel::apps {

namespace {

// The card's header lines in the written bytes (code page 932), up to the
// MIME body: key as written and value, in file order.
std::vector<std::pair<std::string, std::string>> WrittenHeaders(const std::string& bytes) {
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t pos = bytes.find('\n');  // after the magic line
    while (pos != std::string::npos && pos + 1 < bytes.size()) {
        const std::size_t end = bytes.find('\n', pos + 1);
        const std::string_view line = qel::format::TrimBytes(std::string_view(bytes).substr(pos + 1, end - pos - 1));
        pos = end;
        std::string_view key, rest;
        if (!qel::format::SplitHeader(line, key, rest)) continue;
        if (qel::format::EqualsAscii(key, qel::format::kKeyMimeVersion)) break;
        headers.emplace_back(key, qel::format::TrimBytes(rest));
    }
    return headers;
}

// The values the written form carries that the card did not hold: the new
// record's defaults were written for them, which the user must know.
void WarnFilledInValues(const InputFile& input, const CQelTpjFile& card, const std::string& bytes) {
    const FileScan scan = ScanFile(input.path(), qel::framework::WideToCp932(card.m_strBoundary));
    const std::pair<const char16_t*, const std::string*> dataLines[] = {{qel::format::kKeyData1, &card.m_strData1},
                                                                        {qel::format::kKeyData2, &card.m_strData2},
                                                                        {qel::format::kKeyData3, &card.m_strData3}};
    for (const auto& [key, value] : WrittenHeaders(bytes)) {
        if (qel::format::EqualsAscii(key, qel::format::kKeyType)) continue;  // the form's own
        std::string lower = key;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (scan.headers.count(lower)) continue;
        std::string shown = DataText(value);
        for (const auto& [dataKey, text] : dataLines)
            if (qel::format::EqualsAscii(key, dataKey)) shown = DataText(*text);
        std::fprintf(stderr, "toruca: warning: %s: the card holds no %s; wrote \"%s\", a new card's value\n",
                     qel::framework::NativeForDisplay(input.name()).c_str(), key.c_str(), shown.c_str());
    }
}

}  // namespace

int RunConvert(const std::string& file, const std::string& form, const Output& out) {
    const InputFile input(file);
    ScratchFolder scratch;  // the attachments live here until the new file is written
    std::unique_ptr<CQelTpjFile> card = LoadCard(input);
    const qel::format::CardForm& target = FormNamed(form);
    card->SetType(target.type);
    std::string bytes;
    try {
        bytes = qel::framework::WideToCp932(qel::format::GetFileText(*card));
    } catch (const std::invalid_argument& refused) {
        // A value no header line can hold: the writer names it.
        throw Failure(file + ": " + refused.what());
    } catch (const std::exception&) {
        throw Failure(file + ": an attachment cannot be read back");
    }
    WarnFilledInValues(input, *card, bytes);
    WriteOutput(out, target.defaultName, bytes);
    return 0;
}

int RunExtract(const std::string& file, const std::string& dirOption) {
    const InputFile input(file);
    RequireInputFile(input.path(), input.name());
    std::error_code ec;
    fs::path dir = dirOption;
    if (dir.empty() && !input.IsStandardInput()) dir = fs::path(file).stem();
    if (dir.empty()) dir = "toruca";
    dir = fs::absolute(dir, ec).lexically_normal();
    // A new folder only: whatever is in an existing one stays untouched.
    if (::mkdir(dir.c_str(), 0777) != 0) {
        if (errno == EEXIST)
            throw Failure(dir.string() + ": already exists; extract writes into a new folder only (-d DIR)");
        throw Failure("cannot make the folder " + dir.string() + ": " + std::strerror(errno));
    }
    try {
        // The page is index.html whatever the parts are named: the name is
        // taken before the reader saves the attachments straight into the
        // new folder, so that a part named so gets the next free name.
        const fs::path index = dir / "index.html";
        std::ofstream(index, std::ios::binary).close();
        UseTemporaryFolder(dir.string());
        // Every image beside the page, a taken name giving the next free one.
        std::unique_ptr<CQelTpjFile> card = LoadCard(input, qel::format::FolderStore::Naming::nextFree);

        // The page refers to its images by relative URLs, so that the folder
        // opens in a browser wherever it is moved.
        std::u16string folderUrl;
        SIFUtil::PCPathtoURL(folderUrl, qel::framework::PathFromNative(dir.string() + "/"));
        for (int i = 0; i < card->m_arrImages.GetSize(); ++i) {
            std::u16string url;
            SIFUtil::PCPathtoURL(url, card->m_arrImages[i].m_strPath);
            if (!folderUrl.empty() && url.compare(0, folderUrl.size(), folderUrl) == 0)
                card->m_arrImages.GetAt(i).m_strPath = url.substr(folderUrl.size());
        }
        // A page that cannot be parsed has its references replaced as text.
        const std::string page =
            qel::framework::WideToCp932(qel::html::ResolveContentIdsEvenUnparsed(*card, card->m_strHtml));
        std::ofstream out(index, std::ios::binary | std::ios::trunc);
        out.write(page.data(), static_cast<std::streamsize>(page.size()));
        out.close();
        if (!out) throw Failure("cannot write the page into " + dir.string());
        std::printf("%s\n", index.c_str());
    } catch (...) {
        // Half a folder is of no use: take back what was written.
        fs::remove_all(dir, ec);
        throw;
    }
    return 0;
}

}  // namespace qel::apps
