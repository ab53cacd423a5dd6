// toruca convert and toruca extract: a card in another form, and a card's
// page with its images in a folder of their own.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "host/url.h"
#include "html/cid_rewrite.h"

namespace fs = std::filesystem;

namespace qel::apps {

int RunConvert(const std::string& file, const std::string& form, const Output& out) {
    const InputFile input(file);
    ScratchFolder scratch;  // the attachments live here until the new file is written
    std::unique_ptr<CQelTpjFile> card = LoadCard(input);
    const qel::format::CardForm& target = FormNamed(form);
    card->SetType(target.type);
    std::string bytes;
    try {
        bytes = qel::framework::WideToCp932(qel::format::GetFileText(*card));
    } catch (const std::exception&) {
        throw Failure(file + ": an attachment cannot be read back");
    }
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
