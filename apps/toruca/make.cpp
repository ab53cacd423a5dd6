// toruca make: a page to a card, as the export makes it, with the values
// given on the command line instead of the settings dialog.
#include <sys/stat.h>

#include <ctime>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/dates.h"
#include "dialogs/settings_check.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "host/messages.h"
#include "host/report.h"
#include "html/html_import.h"
#include "toruca/torucautil.h"

namespace fs = std::filesystem;

namespace qel::apps {

namespace {

// Data2 is the multi-line one: its line breaks are CR LF, as the settings
// dialog's edit gives them, whatever the shell passed.
std::u16string WithCrLf(const std::u16string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) out += u'\r';
        out += text[i];
    }
    return out;
}

// The text values of the card, each checked as the settings dialog checks it.
void SetTexts(CQelTpjFile& card, const MakeOptions& o) {
    if (o.version) card.SetVersion(ShiftJisText("--version", *o.version));
    if (o.url) {
        const std::u16string url = ShiftJisText("--url", *o.url);
        // The settings dialog's refusal, in the words of the program's
        // messages (its own text is Japanese whatever the language).
        if (qel::dialogs::CheckUrl(url))
            throw Failure("--url " + *o.url + ": " +
                          qel::host::Tr("a URL is half-width letters, digits and symbols starting with http://"));
        card.SetUrl(url);
    }
    if (o.data1) card.SetData1(ShiftJisText("--data1", *o.data1));
    if (o.data2) card.SetData2(WithCrLf(ShiftJisText("--data2", *o.data2)));
    if (o.data3) card.SetData3(ShiftJisText("--data3", *o.data3));
}

// The numbered values: category, colour and distribution.
void SetCodes(CQelTpjFile& card, const MakeOptions& o) {
    // The command line took only a code of the table, or 0 (no icon).
    if (o.category) card.SetCategory(*o.category);
    if (o.color) card.SetColorId(*o.color);
    if (o.dist) card.SetDist(*o.dist);
}

// The identifiers and dates.
void SetIdentifiers(CQelTpjFile& card, const MakeOptions& o) {
    if (o.ipId) card.SetIpId(ShiftJisText("--ip-id", *o.ipId));
    if (o.sortId) card.SetSortId(ShiftJisText("--sort-id", *o.sortId));
    if (o.expires) {
        if (!ParseExpires(*o.expires)) throw UsageFailure("--expires " + *o.expires + ": not a date YYMMDD");
        card.SetExpires(ShiftJisText("--expires", *o.expires));
    }
    if (!o.lastModified) return;
    if (*o.lastModified == "now") {
        CQelTorucaUtil util;
        card.SetLastModified(util.GetDateStamp(static_cast<std::int64_t>(std::time(nullptr))));
    } else {
        if (!ParseLastModified(*o.lastModified))
            throw UsageFailure("--lm " + *o.lastModified + ": not a date and time YYMMDDhhmm (or now)");
        card.SetLastModified(ShiftJisText("--lm", *o.lastModified));
    }
}

// --icon FILE TITLE: the unique category icon.
void SetIcon(CQelTpjFile& card, const std::vector<std::string>& icon) {
    if (icon.size() != 2) return;
    RequireInputFile(icon[0]);
    if (!HoldsImage(icon[0])) throw UsageFailure("--icon " + icon[0] + ": not an image (GIF, JPEG or PNG)");
    std::error_code ec;
    const fs::path file = fs::absolute(icon[0], ec).lexically_normal();
    card.SetUniqueIcon(qel::framework::PathFromNative(file.string()), ShiftJisText("--icon TITLE", icon[1]));
}

void ImportPage(CQelTpjFile& card, const std::string& page) {
    std::error_code ec;
    const fs::path full = fs::absolute(page, ec).lexically_normal();
    bool imported = false;
    qel::host::BeginExportReport();
    try {
        imported = qel::html::CreateFromHtml(card, qel::framework::PathFromNative(full.string()), nullptr);
    } catch (const std::exception&) {
        imported = false;
    }
    const std::u16string why = qel::host::TakeExportReport().why;
    if (!imported) throw Failure(page + ": cannot be read as a page" + (why.empty() ? "" : " (" + Utf8(why) + ")"));
}

// The export writes an empty part for an image that is not there; say so.
void WarnOfMissingImages(const CQelTpjFile& card, const std::string& page) {
    std::error_code ec;
    for (int i = 0; i < card.m_arrImages.GetSize(); ++i) {
        if (card.m_arrImages[i].m_data) continue;  // an inline image: its bytes are at hand
        const std::string image = qel::framework::PathToNative(card.m_arrImages[i].m_strPath);
        if (!fs::is_regular_file(image, ec))
            std::fprintf(stderr, "toruca: warning: %s: the image %s is missing; its part is empty\n", page.c_str(),
                         image.c_str());
    }
}

// One line on standard error for each handset limit the card exceeds, as
// qelhost says it of the card it wrote; the card is written all the same.
void WarnOfHandsetLimits(CQelTpjFile& card, std::uint64_t fileBytes, const std::string& shown) {
    for (const qel::toruca::Verdict& v : qel::toruca::Judge(Measure(card, fileBytes)))
        if (v.exceeded)
            std::fprintf(stderr, "toruca: warning: %s: %s\n", shown.c_str(), qel::toruca::Describe(v).c_str());
}

}  // namespace

int RunMake(const MakeOptions& o) {
    RequireInputFile(o.page);

    // Every value is checked before the page is read, so that a mistyped
    // option costs nothing.
    CQelTpjFile card(TYPE_PROJECT);
    SetTexts(card, o);
    SetCodes(card, o);
    SetIdentifiers(card, o);
    SetIcon(card, o.icon);

    ImportPage(card, o.page);
    const qel::format::CardForm& form = FormNamed(o.form);
    card.SetType(form.type);
    WarnOfMissingImages(card, o.page);

    std::string bytes;
    try {
        bytes = qel::framework::WideToCp932(qel::format::GetFileText(card));
    } catch (const std::invalid_argument& e) {
        // A value the writer refuses (the command line refused those it knows).
        throw Failure(o.page + ": " + e.what());
    } catch (const std::exception&) {
        throw Failure(o.page + ": an image of the page cannot be read");
    }
    const std::string written = WriteOutput(o.out, form.defaultName, bytes);
    WarnOfHandsetLimits(card, bytes.size(), written.empty() ? "-" : written);
    return 0;
}

}  // namespace qel::apps
