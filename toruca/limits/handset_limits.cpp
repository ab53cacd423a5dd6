#include "toruca/limits/handset_limits.h"

#include <cstdio>
#include <fstream>
#include <string_view>

namespace qel::toruca {

extern const HandsetLimit kHandsetLimits[];
extern const std::size_t kHandsetLimitCount;

std::span<const HandsetLimit> Limits() { return {kHandsetLimits, kHandsetLimitCount}; }

namespace {

std::uint64_t ValueOf(const CardMeasure& card, Subject subject) {
    switch (subject) {
        case Subject::file: return card.fileBytes;
        case Subject::url: return card.url;
        case Subject::data1: return card.data1;
        case Subject::data2: return card.data2;
        case Subject::data3: return card.data3;
        case Subject::text: return card.url + card.data1 + card.data2 + card.data3;
    }
    return 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Bytes that a Base64 text decodes to: every six bits of an alphabet
// character, in whole bytes (pad characters and anything else count nothing).
std::uint64_t Base64Bytes(std::string_view text) {
    std::uint64_t chars = 0;
    for (char c : text)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/') ++chars;
    return chars * 6 / 8;
}

}  // namespace

std::vector<Verdict> Judge(const CardMeasure& card) {
    std::vector<Verdict> verdicts;
    for (const HandsetLimit& row : Limits()) {
        if (row.form != Form::any && row.form != card.form) continue;
        const std::uint64_t value = ValueOf(card, row.subject);
        verdicts.push_back({&row, value, value > row.max});
    }
    return verdicts;
}

const char* SubjectName(Subject subject) {
    switch (subject) {
        case Subject::file: return "the file";
        case Subject::url: return "URL";
        case Subject::data1: return "Data1";
        case Subject::data2: return "Data2";
        case Subject::data3: return "Data3";
        case Subject::text: return "URL and Data1-3 together";
    }
    return "";
}

const char* FormName(Form form) {
    switch (form) {
        case Form::detail: return "detail";
        case Form::snippet: return "snippet";
        case Form::project: return "project";
        case Form::any: return "any";
    }
    return "";
}

std::string Describe(const Verdict& v) {
    const bool plural = v.limit->subject == Subject::text;
    std::string line = SubjectName(v.limit->subject);
    line += plural ? " are " : " is ";
    line += std::to_string(v.value) + " bytes, ";
    line += v.exceeded ? "over" : "within";
    line += " the handset limit of " + std::to_string(v.limit->max) + " bytes";
    if (v.limit->form != Form::any) line += std::string(" for a ") + FormName(v.limit->form) + " file";
    line += std::string(" (") + v.limit->source + ")";
    return line;
}

namespace {

// One "Key: value" line of a card's header, taken into `card`; a Type line
// sets `typed`.
void MeasureHeaderLine(std::string_view line, CardMeasure& card, Form& typed) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return;
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(key, "URL")) card.url = value.size();
    else if (EqualsNoCase(key, "Data1")) card.data1 = Base64Bytes(value);
    else if (EqualsNoCase(key, "Data2")) card.data2 = Base64Bytes(value);
    else if (EqualsNoCase(key, "Data3")) card.data3 = Base64Bytes(value);
    else if (EqualsNoCase(key, "Type") && EqualsNoCase(value, "SNIP")) typed = Form::snippet;
    else if (EqualsNoCase(key, "Type") && EqualsNoCase(value, "CARD")) typed = Form::detail;
}

}  // namespace

bool MeasureFile(const std::string& path, CardMeasure& card) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    card = CardMeasure{};
    std::string line;
    bool project = false;
    Form typed = Form::any;
    for (bool first = true; std::getline(in, line); first = false) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) project = EqualsNoCase(line, "TORUCA_PROJECT_V2");
        else if (line.starts_with("--")) break;  // the MIME body
        else MeasureHeaderLine(line, card, typed);
    }
    // As the reader takes it: the Type line wins over the first line.
    if (typed != Form::any) card.form = typed;
    else if (project) card.form = Form::project;
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    card.fileBytes = static_cast<std::uint64_t>(size);
    return true;
}

}  // namespace qel::toruca
