// toruca info: what a card holds, its size and the handset limits.
#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/structure.h"
#include "dialogs/settings_check.h"
#include "format/header_lines.h"
#include "framework/codepage.h"
#include "framework/strings.h"
#include "host/html/dom.h"
#include "host/filekind.h"
#include "host/html/htmldata.h"
#include "host/paths.h"
#include "html/cid_rewrite.h"
#include "html/page_references.h"
#include "toruca/category.h"
#include "toruca/torucautil.h"

namespace fs = std::filesystem;

namespace qel::apps {

namespace {

struct PartInfo {
    std::string id;    // content id; empty for the unique icon
    std::string name;  // file name as the card names it
    std::string kind;  // content type
    std::uint64_t bytes = 0;
};

std::string KindOf(const std::u16string& path) {
    switch (CQelTktUtil::whatKindOfFile(path, false)) {
        case CQelTktUtil::KIND_IMAGE:
            switch (CQelTktUtil::whatKindOfImage(path)) {
                case CQelTktUtil::IMAGE_GIF: return "image/gif";
                case CQelTktUtil::IMAGE_JPEG: return "image/jpeg";
                case CQelTktUtil::IMAGE_PNG: return "image/png";
                default: return "image";
            }
        case CQelTktUtil::KIND_FLASH: return "application/x-shockwave-flash";
        default: return "other";
    }
}

PartInfo PartOf(const std::u16string& path, const std::u16string& id) {
    PartInfo p;
    p.id = Utf8(id);
    p.name = Utf8(getBaseName(path));
    p.kind = KindOf(path);
    std::error_code ec;
    const auto size = fs::file_size(qel::framework::PathToNative(path), ec);
    p.bytes = ec ? 0 : size;
    return p;
}

std::vector<PartInfo> PagePartsOf(CQelTpjFile& card) {
    std::vector<PartInfo> parts;
    for (int i = 0; i < card.m_arrImages.GetSize(); ++i)
        parts.push_back(PartOf(card.m_arrImages[i].m_strPath, card.m_arrImages[i].m_strId));
    return parts;
}

// The columns a terminal gives the code point: two for the East Asian wide
// and full-width ones (kanji, kana, full-width forms, most emoji), none for
// combining marks, else one.
int ColumnsOf(char32_t c) {
    static const std::pair<char32_t, char32_t> wide[] = {
        {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
        {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x3099 && c <= 0x309A) || c == 0x200B) return 0;
    for (const auto& [first, last] : wide)
        if (c >= first && c <= last) return 2;
    return 1;
}

// The columns UTF-8 text takes on a terminal.
std::size_t DisplayWidth(const std::string& text) {
    const std::u16string wide = qel::framework::Utf8ToWide(text);
    std::size_t columns = 0;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        columns += static_cast<std::size_t>(ColumnsOf(c));
    }
    return columns;
}

// The text padded with blanks to `columns` display columns.
std::string Padded(const std::string& text, std::size_t columns) {
    const std::size_t width = DisplayWidth(text);
    return width >= columns ? text : text + std::string(columns - width, ' ');
}

// Continuation lines of a multi-line value under its first line.
std::string Indented(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
        if (text[i] == '\n') out += "         ";
    }
    return out;
}

std::string CategoryText(int code) {
    CQelTorucaCategory table;
    const unsigned genre = table.GetGenre(code);
    if (code == 0) return "no category icon";
    if (genre == CQelTorucaCategory::GENRE_ALL) return "not in the category table";
    return Utf8(table.GetGenreName(genre));
}

// The header keys the card's file holds (lower case), read up to its first
// delimiter line as the reader splits header lines.
std::set<std::string> KeysOfFile(const std::string& file) {
    std::set<std::string> keys;
    std::ifstream in(file, std::ios::binary);
    qel::format::LineReader lines(
        [&in](char* into, std::size_t want) {
            in.read(into, static_cast<std::streamsize>(want));
            return static_cast<std::size_t>(in.gcount());
        },
        nullptr);
    std::string_view line, key, rest;
    try {
        while (lines.Next(line, std::size_t{1} << 20) && !qel::format::StartsWithHyphens(line)) {
            if (!qel::format::SplitHeader(line, key, rest)) continue;
            std::string lower(key);
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            keys.insert(lower);
        }
    } catch (const std::length_error&) {
        // The reader refused the file already; what was read stands.
    }
    return keys;
}

// True when the card shows no value for `key`: its file does not hold the
// key, and the format gives none for it either (Color-ID 1 and a project's
// Dist 4 are left out from the versions that have them).
bool Absent(const std::set<std::string>& keys, const std::u16string& key, const CQelTpjFile& card) {
    std::string lower = qel::framework::WideToUtf8(key);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (keys.count(lower)) return false;
    const int code = CQelTpjFile::VersionToCode(card.m_strVersion);
    if (key == qel::format::kKeyColorId) return code < 2;
    if (key == qel::format::kKeyDist) return code < 3 || card.GetType() != TYPE_PROJECT;
    return true;
}

// What `toruca info` shows of one card, gathered once for both outputs.
struct CardInfo {
    std::string file;
    bool fromStandardInput = false;
    std::unique_ptr<CQelTpjFile> card;
    std::vector<PartInfo> parts;
    std::u16string iconTitle;
    std::optional<PartInfo> icon;
    qel::toruca::CardMeasure measure;
    std::vector<qel::toruca::Verdict> verdicts;
    std::string category;
    std::string colour;
    std::string dist;
    std::set<std::string> keys;  // those the file holds, lower case
    bool Absent(const char16_t* key) const { return apps::Absent(keys, key, *card); }
};

CardInfo GatherInfo(const InputFile& file) {
    CardInfo info;
    info.file = file.name();
    info.fromStandardInput = file.IsStandardInput();
    info.card = LoadCard(file);
    info.keys = KeysOfFile(file.path());
    const CQelTpjFile& card = *info.card;
    CQelTorucaUtil util;
    info.parts = PagePartsOf(*info.card);
    std::u16string iconPath;
    card.GetUniqueIcon(iconPath, info.iconTitle);
    if (!iconPath.empty()) info.icon = PartOf(iconPath, u"");
    info.measure = Measure(*info.card, file);
    info.verdicts = qel::toruca::Judge(info.measure);
    info.category = qel::framework::WideToUtf8(qel::framework::Format(u"%04d", card.m_nCategory));
    info.colour = Utf8(util.GetColorLabel(static_cast<unsigned>(card.m_nColorId)));
    info.dist = Utf8(util.GetDistLabel(static_cast<unsigned>(card.m_nDist)));
    return info;
}

// A value of the JSON output, or null for one the card does not hold.
nlohmann::ordered_json OrNull(bool absent, nlohmann::ordered_json value) {
    return absent ? nlohmann::ordered_json(nullptr) : std::move(value);
}

// The text of a value, or "(absent)" for one the card does not hold.
std::string OrAbsent(bool absent, const std::string& text) { return absent ? "(absent)" : text; }

void PrintInfoJson(const CardInfo& info) {
    CQelTpjFile& card = *info.card;
    nlohmann::ordered_json j;
    j["file"] = info.file;
    j["form"] = FormOfType(card.GetType());
    j["version"] = Utf8(card.GetVersion());
    j["url"] = Utf8(card.GetUrl());
    j["data1"] = DataText(card.GetData1());
    j["data2"] = DataText(card.GetData2());
    j["data3"] = DataText(card.GetData3());
    j["cat"] = {{"code", card.m_nCategory}, {"text", info.category}, {"genre", CategoryText(card.m_nCategory)}};
    j["ipId"] = OrNull(info.Absent(qel::format::kKeyIpId), Utf8(card.GetIpId()));
    j["sortId"] = OrNull(info.Absent(qel::format::kKeySortId), Utf8(card.GetSortId()));
    j["dist"] = OrNull(info.Absent(qel::format::kKeyDist),
                       nlohmann::ordered_json{{"value", card.m_nDist}, {"label", info.dist}});
    j["colorId"] = OrNull(info.Absent(qel::format::kKeyColorId),
                          nlohmann::ordered_json{{"value", card.m_nColorId}, {"label", info.colour}});
    j["expires"] = OrNull(info.Absent(qel::format::kKeyExpires), Utf8(card.GetExpires()));
    j["lm"] = OrNull(info.Absent(qel::format::kKeyLastModified), Utf8(card.GetLastModified()));
    const std::optional<PartInfo>& icon = info.icon;
    if (icon)
        j["uniqueIcon"] = {
            {"title", Utf8(info.iconTitle)}, {"name", icon->name}, {"kind", icon->kind}, {"bytes", icon->bytes}};
    else j["uniqueIcon"] = nullptr;
    j["parts"] = nlohmann::ordered_json::array();
    for (const PartInfo& p : info.parts)
        j["parts"].push_back({{"contentId", p.id}, {"name", p.name}, {"kind", p.kind}, {"bytes", p.bytes}});
    j["size"] = info.measure.fileBytes;
    j["limits"] = nlohmann::ordered_json::array();
    for (const qel::toruca::Verdict& v : info.verdicts)
        j["limits"].push_back({{"key", v.limit->key},
                               {"value", v.value},
                               {"max", v.limit->max},
                               {"ok", !v.exceeded},
                               {"source", v.limit->source}});
    std::printf("%s\n", j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

// `text` as one word of a shell command that can be pasted: as it is when
// it holds only characters no shell treats specially, else in single
// quotes (a quote inside as '\'').
std::string ShellWord(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789_./:@%+=,-") == std::string::npos;
    if (plain) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void PrintInfoText(const CardInfo& info) {
    CQelTpjFile& card = *info.card;
    const std::string& file = info.file;
    std::printf("%s: ToruCa %s file, version %s\n", file.c_str(), FormOfType(card.GetType()),
                Utf8(card.GetVersion()).c_str());
    std::printf("  URL: %s\n", Utf8(card.GetUrl()).c_str());
    std::printf("  Data1: %s\n", DataText(card.GetData1()).c_str());
    std::printf("  Data2: %s\n", Indented(DataText(card.GetData2())).c_str());
    std::printf("  Data3: %s\n", DataText(card.GetData3()).c_str());
    std::printf("  Cat: %s (%s)\n", info.category.c_str(), CategoryText(card.m_nCategory).c_str());
    using qel::format::kKeyColorId, qel::format::kKeyDist;
    std::printf("  IP-ID: %s\n", OrAbsent(info.Absent(qel::format::kKeyIpId), Utf8(card.GetIpId())).c_str());
    std::printf("  Sort-ID: %s\n", OrAbsent(info.Absent(qel::format::kKeySortId), Utf8(card.GetSortId())).c_str());
    std::printf("  Dist: %s\n",
                OrAbsent(info.Absent(kKeyDist),
                         std::to_string(card.m_nDist) + " (" + (info.dist.empty() ? "no such value" : info.dist) + ")")
                    .c_str());
    std::printf("  Color-ID: %s\n",
                OrAbsent(info.Absent(kKeyColorId), std::to_string(card.m_nColorId) + " (" +
                                                       (info.colour.empty() ? "no such colour" : info.colour) + ")")
                    .c_str());
    std::printf("  Expires: %s\n", OrAbsent(info.Absent(qel::format::kKeyExpires), Utf8(card.GetExpires())).c_str());
    std::printf("  LM: %s\n",
                OrAbsent(info.Absent(qel::format::kKeyLastModified), Utf8(card.GetLastModified())).c_str());
    if (info.icon)
        std::printf("  unique icon: \"%s\", %s, %s, %llu bytes\n", Utf8(info.iconTitle).c_str(),
                    info.icon->name.c_str(), info.icon->kind.c_str(),
                    static_cast<unsigned long long>(info.icon->bytes));
    else std::printf("  unique icon: none\n");
    std::printf("parts: %zu\n", info.parts.size());
    for (const PartInfo& p : info.parts)
        std::printf("  %s %s %s %llu bytes\n", Padded(p.id, 8).c_str(), Padded(p.name, 24).c_str(),
                    Padded(p.kind, 30).c_str(), static_cast<unsigned long long>(p.bytes));
    std::printf("size: %llu bytes\n", static_cast<unsigned long long>(info.measure.fileBytes));
    std::printf("handset limits:\n");
    for (const qel::toruca::Verdict& v : info.verdicts)
        std::printf("  %-4s %s\n", v.exceeded ? "OVER" : "ok", qel::toruca::Describe(v).c_str());
    if (!info.fromStandardInput) std::printf("preview: toruca preview %s -o card.png\n", ShellWord(file).c_str());
}

}  // namespace

int RunInfo(const std::string& file, bool json) {
    const InputFile input(file);
    ScratchFolder scratch;
    const CardInfo info = GatherInfo(input);
    if (json) PrintInfoJson(info);
    else PrintInfoText(info);
    return 0;
}

}  // namespace qel::apps
