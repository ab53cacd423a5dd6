#include "toruca/limits/handset_limits.h"

#include <cstdio>
#include <fstream>
#include <string_view>

#include "format/header_lines.h"

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
        if (row.form != nullptr && row.form != card.form) continue;
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

std::string Describe(const Verdict& v) {
    const bool plural = v.limit->subject == Subject::text;
    std::string line = SubjectName(v.limit->subject);
    line += plural ? " are " : " is ";
    line += std::to_string(v.value) + " bytes, ";
    line += v.exceeded ? "over" : "within";
    line += " the handset limit of " + std::to_string(v.limit->max) + " bytes";
    if (v.limit->form != nullptr) line += std::string(" for a ") + v.limit->form->name + " file";
    line += std::string(" (") + v.limit->source + ")";
    return line;
}

namespace {

using qel::format::EqualsAscii;

// One "Key: value" line of a card's header, taken into `card`; a Type line
// that names a form sets `typed`.
void MeasureHeaderLine(std::string_view line, CardMeasure& card, const qel::format::CardForm*& typed) {
    std::string_view key, rest;
    if (!qel::format::SplitHeader(line, key, rest)) return;
    const std::string_view value = qel::format::TrimBytes(rest);
    if (EqualsAscii(key, qel::format::kKeyUrl)) card.url = value.size();
    else if (EqualsAscii(key, qel::format::kKeyData1)) card.data1 = Base64Bytes(value);
    else if (EqualsAscii(key, qel::format::kKeyData2)) card.data2 = Base64Bytes(value);
    else if (EqualsAscii(key, qel::format::kKeyData3)) card.data3 = Base64Bytes(value);
    else if (EqualsAscii(key, qel::format::kKeyType)) {
        if (const qel::format::CardForm* form = qel::format::FormOfTypeValue(value)) typed = form;
    }
}

}  // namespace

bool MeasureFile(const std::string& path, CardMeasure& card) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    card = CardMeasure{};
    qel::format::LineReader lines(
        [&in](char* into, std::size_t want) {
            in.read(into, static_cast<std::streamsize>(want));
            return static_cast<std::size_t>(in.gcount());
        },
        nullptr);
    std::string_view line;
    bool project = false;
    const qel::format::CardForm* typed = nullptr;
    for (bool first = true; lines.Next(line); first = false) {
        if (first) project = EqualsAscii(line, qel::format::kProjectForm.magic);
        else if (qel::format::StartsWithHyphens(line)) break;  // the MIME body
        else MeasureHeaderLine(line, card, typed);
    }
    // As the reader takes it: the Type line wins over the first line.
    if (typed) card.form = typed;
    else if (project) card.form = &qel::format::kProjectForm;
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    card.fileBytes = static_cast<std::uint64_t>(size);
    return true;
}

}  // namespace qel::toruca
