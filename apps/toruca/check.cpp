// toruca check: whether a card fits the handsets, holds together, and says
// what its author meant rather than what a new record holds.
#include <cctype>
#include <climits>
#include <cstdio>
#include <ctime>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/dates.h"
#include "apps/toruca/structure.h"
#include "dialogs/settings_check.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/html/htmldata.h"
#include "host/paths.h"
#include "html/cid_rewrite.h"
#include "html/page_references.h"
#include "toruca/category.h"

namespace qel::apps {

namespace {

// The content ids that the page's image references name ("cid:ID"), in
// page order, found as the import finds references.
std::vector<std::u16string> ReferencedIds(const std::u16string& html) {
    std::vector<std::u16string> ids;
    if (html.empty() || html.size() > static_cast<std::size_t>(INT_MAX)) return ids;
    CQelHtmlData loader(u"HTML");
    loader.CreateNodeDataFromData(html.data(), static_cast<int>(html.size()), nullptr);
    if (auto* document = dynamic_cast<Document*>(loader.m_pRootNode)) {
        qel::html::VisitImageReferences(*document, [&](Element& element, const std::u16string& attribute) {
            const std::u16string value = element.getAttribute(attribute);
            if (value.size() > 4 && value.compare(0, 4, u"cid:") == 0) ids.push_back(value.substr(4));
        });
    } else {
        // A page that cannot be parsed is searched as text.
        ids = qel::html::ContentIdsInText(html);
    }
    loader.DestroyNodeData();
    return ids;
}

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

struct Problem {
    const char* severity;  // "error" or "warning"
    const char* kind;      // a short fixed name, for scripts
    std::string text;
};

// The checks of one card, each adding the problems it finds.
class CardCheck {
public:
    CardCheck(const InputFile& file, CQelTpjFile& card)
        : m_file(file), m_card(card), m_scan(ScanFile(file.path(), qel::framework::WideToCp932(card.m_strBoundary))) {}

    std::vector<Problem> Run() {
        References();
        Category();
        Url();
        Placeholders();
        Dates();
        Icon();
        for (const qel::toruca::Verdict& v : qel::toruca::Judge(Measure(m_card, m_file)))
            if (v.exceeded) Error("limit", qel::toruca::Describe(v));
        for (const StructureProblem& p : m_scan.problems) Add(p.warning ? "warning" : "error", p.kind, p.text);
        return std::move(m_problems);
    }

private:
    void Add(const char* severity, const char* kind, std::string text) {
        m_problems.push_back({severity, kind, std::move(text)});
    }
    void Error(const char* kind, std::string text) { Add("error", kind, std::move(text)); }
    void Warning(const char* kind, std::string text) { Add("warning", kind, std::move(text)); }

    // A header line as written, as UTF-8 text; none when the file has none.
    std::optional<std::string> Header(const char* key) const {
        const auto found = m_scan.headers.find(key);
        if (found == m_scan.headers.end()) return std::nullopt;
        return DataText(found->second);
    }

    // Every "cid:" reference has its part, every part is used.
    void References() {
        const std::vector<std::u16string> referenced = ReferencedIds(m_card.m_strHtml);
        const std::set<std::u16string> referencedSet(referenced.begin(), referenced.end());
        std::set<std::u16string> present;
        for (int i = 0; i < m_card.m_arrImages.GetSize(); ++i) present.insert(m_card.m_arrImages[i].m_strId);
        std::set<std::u16string> reported;
        for (const std::u16string& id : referenced)
            if (!present.count(id) && reported.insert(id).second)
                Error("missing-part",
                      "the page refers to \"cid:" + Utf8(id) + "\", but the card has no part with that content id");
        for (int i = 0; i < m_card.m_arrImages.GetSize(); ++i) {
            const std::u16string& id = m_card.m_arrImages[i].m_strId;
            if (!referencedSet.count(id))
                Warning("unused-part", "the part \"" + Utf8(getBaseName(m_card.m_arrImages[i].m_strPath)) +
                                           "\" (content id \"" + Utf8(id) + "\") is not used by the page");
        }
    }

    // Cat is a decimal code of the table, or 0 for none. The reader takes
    // the digits it finds ("00FC" as 0), so the line as written decides.
    void Category() {
        if (const std::optional<std::string> raw = Header("cat"); raw && !AllDigits(*raw)) {
            Warning("cat-not-decimal", "Cat \"" + *raw + "\" is not a decimal code of the category table");
            return;
        }
        CQelTorucaCategory table;
        if (m_card.m_nCategory != 0 && table.GetGenre(m_card.m_nCategory) == CQelTorucaCategory::GENRE_ALL)
            Error("category",
                  "Cat " + Utf8(qel::framework::Format(u"%04d", m_card.m_nCategory)) + " is not in the category table");
    }

    void Url() {
        if (const char16_t* refused = qel::dialogs::CheckUrl(m_card.GetUrl()))
            Error("url", "URL \"" + Utf8(m_card.GetUrl()) + "\": " + Utf8(refused));
    }

    // Values still those of a new record: the author forgot them.
    void Placeholders() {
        const CQelTpjFile fresh(TYPE_CARD);
        const auto placeholder = [&](const char* key, const std::string& value) {
            Warning("placeholder", std::string(key) + " \"" + value + "\" is the placeholder of a new card");
        };
        if (m_card.GetUrl() == fresh.GetUrl()) placeholder("URL", Utf8(m_card.GetUrl()));
        if (m_card.GetData1() == fresh.GetData1()) placeholder("Data1", DataText(m_card.GetData1()));
        if (m_card.GetData2() == fresh.GetData2()) placeholder("Data2", DataText(m_card.GetData2()));
        if (m_card.GetData3() == fresh.GetData3()) placeholder("Data3", DataText(m_card.GetData3()));
        // The template's values of the lines a form or version may lack count
        // where the card holds the line.
        const std::pair<const char*, std::u16string> lines[] = {{"IP-ID", fresh.GetIpId()},
                                                                {"Sort-ID", fresh.GetSortId()},
                                                                {"Expires", fresh.GetExpires()},
                                                                {"LM", fresh.GetLastModified()}};
        for (const auto& [key, value] : lines) {
            std::string lower = key;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::optional<std::string> written = Header(lower.c_str());
            if (written && *written == Utf8(value)) placeholder(key, *written);
        }
    }

    // The dates as written (a form or version without the line has none).
    void Dates() {
        CardDate now = LocalDate(std::time(nullptr));
        if (const std::optional<std::string> expires = Header("expires")) {
            const std::optional<CardDate> day = ParseExpires(*expires);
            CardDate today = now;
            today.hour = today.minute = 0;
            if (!day) Warning("date", "Expires \"" + *expires + "\" is no date (YYMMDD)");
            else if (day->Key() < today.Key())
                Warning("expired", "Expires " + *expires + " is past (" + day->Shown(false) +
                                       "): a handset takes the card for expired");
        }
        if (const std::optional<std::string> lm = Header("lm")) {
            const std::optional<CardDate> when = ParseLastModified(*lm);
            if (!when) Warning("date", "LM \"" + *lm + "\" is no date and time (YYMMDDhhmm)");
            else if (when->Key() > now.Key())
                Warning("future-lm", "LM " + *lm + " is in the future (" + when->Shown(true) + ")");
        }
    }

    void Icon() {
        std::u16string path, title;
        m_card.GetUniqueIcon(path, title);
        if (!path.empty() && !HoldsImage(qel::framework::PathToNative(path)))
            Warning("icon", "the unique icon \"" + Utf8(getBaseName(path)) + "\" is no image (GIF, JPEG or PNG)");
    }

    const InputFile& m_file;
    CQelTpjFile& m_card;
    const FileScan m_scan;
    std::vector<Problem> m_problems;
};

// What check found in one file; `error` when it could not be read.
struct FileReport {
    std::string file;
    std::vector<Problem> problems;
    std::string error;
    bool Ok() const { return problems.empty() && error.empty(); }
};

FileReport CheckFile(const std::string& given) {
    FileReport report;
    report.file = given;
    try {
        const InputFile file(given);
        std::unique_ptr<CQelTpjFile> card = LoadCard(file);
        report.problems = CardCheck(file, *card).Run();
    } catch (const Failure& f) {
        // A file that cannot be read at all is bad input, not a problem of a card.
        std::fprintf(stderr, "toruca: %s\n", qel::framework::NativeForDisplay(f.what()).c_str());
        report.error = f.what();
    }
    return report;
}

void PrintText(const FileReport& report) {
    for (const Problem& p : report.problems)
        std::printf("%s: %s: %s\n", qel::framework::NativeForDisplay(report.file).c_str(), p.severity, p.text.c_str());
}

nlohmann::ordered_json Json(const FileReport& report) {
    nlohmann::ordered_json j;
    j["file"] = report.file;
    j["ok"] = report.Ok();
    if (!report.error.empty()) j["error"] = report.error;
    j["problems"] = nlohmann::ordered_json::array();
    for (const Problem& p : report.problems)
        j["problems"].push_back({{"severity", p.severity}, {"kind", p.kind}, {"text", p.text}});
    return j;
}

}  // namespace

int RunCheck(const std::vector<std::string>& files, bool json) {
    int fromStandardInput = 0;
    for (const std::string& file : files) fromStandardInput += file == "-";
    if (fromStandardInput > 1) throw UsageFailure("-: standard input can be checked only once");
    ScratchFolder scratch;
    bool ok = true;
    nlohmann::ordered_json j;
    j["ok"] = true;
    j["files"] = nlohmann::ordered_json::array();
    for (const std::string& file : files) {
        const FileReport report = CheckFile(file);
        ok = ok && report.Ok();
        if (json) j["files"].push_back(Json(report));
        else PrintText(report);
    }
    if (json) {
        j["ok"] = ok;
        std::printf("%s\n", j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}

}  // namespace qel::apps
