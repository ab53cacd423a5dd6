// The limits of i-mode handsets that a ToruCa card must keep, and the
// verdicts on one card. The table is handset_limits.tsv, compiled in at build
// time; each row names where its figure is published.
//
// Knows nothing of the module: qelhost links it (and must not link the
// module's core), and so does the toruca tool. Each measures a card its own
// way (the tool through the module's reader, qelhost from the header lines of
// the file it saw written, read by the card format's own line reader) and
// both judge with Judge. The forms are those of format/toruca_format.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/toruca_format.h"

namespace qel::toruca {

// What a row measures, in bytes: the whole file, the URL, one data line
// (Shift_JIS text), or the URL and the three data lines together.
enum class Subject { file, url, data1, data2, data3, text };

struct HandsetLimit {
    const char* key;                    // stable name for scripts, "data1"
    const qel::format::CardForm* form;  // the form the row is for; null: any (a project file, which
                                        // handsets do not load, has only these)
    Subject subject;
    std::uint64_t max;   // the largest allowed value, bytes
    const char* source;  // where the figure is published (UTF-8)
};

// The rows of the table, in file order.
std::span<const HandsetLimit> Limits();

// The sizes of one card, in bytes.
struct CardMeasure {
    const qel::format::CardForm* form = nullptr;  // null: unknown
    std::uint64_t fileBytes = 0;
    std::uint64_t url = 0;  // Shift_JIS bytes of the URL value
    std::uint64_t data1 = 0, data2 = 0, data3 = 0;
};

struct Verdict {
    const HandsetLimit* limit;
    std::uint64_t value;  // the measured value of the row's subject
    bool exceeded;
};

// The verdict of every row that applies to the card's form, in table order.
std::vector<Verdict> Judge(const CardMeasure& card);

// "Data1", "file size", ... : the subject as shown to the user.
const char* SubjectName(Subject subject);
// One line on an exceeded row, without program or file name:
// "Data1 is 52 bytes, over the handset limit of 40 bytes (SOURCE)".
std::string Describe(const Verdict& verdict);

// The measure of a written card file, read from its header lines only: the
// form from the first line and the Type line, the URL's bytes, the data
// lines' decoded Base64 lengths, and the file size. False when the file
// cannot be read.
bool MeasureFile(const std::string& path, CardMeasure& card);

}  // namespace qel::toruca
