#include "apps/toruca/structure.h"

#include <fstream>
#include <string_view>
#include <utility>

#include "format/header_lines.h"
#include "framework/codepage.h"

namespace qel::apps {

namespace {

std::string PageHoldsBoundary(int line, const std::string& delimiter) {
    return "the page holds the boundary \"" + delimiter + "\" on line " + std::to_string(line) +
           ": a reader ends the page there and drops the rest";
}

std::string Hyphens() { return qel::framework::WideToUtf8(qel::format::kDelimiterHyphens); }

enum class Encoding { none, eightBit, base64, other };

Encoding EncodingOfValue(std::string_view value) {
    if (qel::format::EqualsAscii(value, qel::format::kEncoding8bit)) return Encoding::eightBit;
    if (qel::format::EqualsAscii(value, qel::format::kEncodingBase64)) return Encoding::base64;
    return Encoding::other;
}

// Follows the parts of the body line by line: where each part starts, and
// the transfer encoding its headers declare.
class PartScanner {
public:
    explicit PartScanner(const std::string& boundary)
        : m_delimiter(Hyphens() + boundary), m_closing(m_delimiter + Hyphens()) {}

    // Says whether the line is a delimiter.
    bool Line(int lineNo, const std::string& line) {
        const bool isClosing = line == m_closing;
        if (isClosing || line == m_delimiter) Delimiter(lineNo, !isClosing);
        else if (m_inPart && m_inHeaders) HeaderLine(line);
        return isClosing || line == m_delimiter;
    }

    std::vector<StructureProblem> End() {
        // The headers of a part cut off by the end of the file never end.
        if (m_inPart && m_inHeaders) CheckPageCutOff();
        if (m_inPart)
            m_problems.push_back({m_partLine, "unterminated-part",
                                  "unterminated part: the part that starts on line " + std::to_string(m_partLine) +
                                      " has no closing \"" + m_closing + "\" after it, so a reader drops it"});
        return std::move(m_problems);
    }

private:
    void Delimiter(int lineNo, bool opensPart) {
        m_previous = m_inPart ? m_encoding : Encoding::none;
        m_inPart = opensPart;
        m_inHeaders = opensPart;
        if (opensPart) m_partLine = lineNo;
        m_encoding = Encoding::none;
        m_typed = false;
    }

    void HeaderLine(const std::string& line) {
        if (line.empty()) {
            m_inHeaders = false;
            if (!CheckPageCutOff() && !m_typed)
                m_problems.push_back({m_partLine, "untyped-part",
                                      "the part that starts on line " + std::to_string(m_partLine) +
                                          " has no Content-Type: a handset cannot tell what it holds",
                                      true});
            return;
        }
        std::string_view key, rest;
        if (!qel::format::SplitHeader(line, key, rest)) return;
        if (qel::format::EqualsAscii(key, qel::format::kKeyTransferEncoding))
            m_encoding = EncodingOfValue(qel::format::TrimBytes(rest));
        else if (qel::format::EqualsAscii(key, qel::format::kKeyContentType)) m_typed = true;
    }

    // A part without a transfer encoding right after the page is the rest
    // of the page, cut off by a delimiter line inside it. Says whether it is.
    bool CheckPageCutOff() {
        if (m_encoding != Encoding::none || m_previous != Encoding::eightBit) return false;
        m_problems.push_back({m_partLine, "boundary-in-page", PageHoldsBoundary(m_partLine, m_delimiter)});
        return true;
    }

    const std::string m_delimiter;
    const std::string m_closing;
    bool m_inPart = false;
    bool m_inHeaders = false;
    int m_partLine = 0;
    Encoding m_encoding = Encoding::none;
    Encoding m_previous = Encoding::none;
    bool m_typed = false;  // the part's headers so far hold a Content-Type
    std::vector<StructureProblem> m_problems;
};

}  // namespace

FileScan ScanFile(const std::string& path, const std::string& boundary) {
    FileScan scan;
    std::ifstream in(path, std::ios::binary);
    if (!in) return scan;
    PartScanner scanner(boundary.empty() ? std::string("\n") : boundary);  // no line holds LF
    bool envelope = true;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (scanner.Line(lineNo, line)) envelope = false;
        if (!envelope) continue;
        std::string_view keyView, rest;
        if (!qel::format::SplitHeader(line, keyView, rest)) continue;
        std::string key(qel::format::TrimBytes(keyView));
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        scan.headers[key] = std::string(qel::format::TrimBytes(rest));
    }
    scan.problems = scanner.End();
    return scan;
}

}  // namespace qel::apps
