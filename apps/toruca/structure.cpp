#include "apps/toruca/structure.h"

#include <fstream>
#include <utility>

namespace qel::apps {

namespace {

bool EqualsNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string PageHoldsBoundary(int line, const std::string& delimiter) {
    return "the page holds the boundary \"" + delimiter + "\" on line " + std::to_string(line) +
           ": a reader ends the page there and drops the rest";
}

enum class Encoding { none, eightBit, base64, other };

Encoding EncodingOfValue(const std::string& value) {
    if (EqualsNoCase(value, "8bit")) return Encoding::eightBit;
    if (EqualsNoCase(value, "base64")) return Encoding::base64;
    return Encoding::other;
}

// Follows the parts of the body line by line: where each part starts, and
// the transfer encoding its headers declare.
class PartScanner {
public:
    explicit PartScanner(const std::string& boundary) : m_delimiter("--" + boundary), m_closing(m_delimiter + "--") {}

    void Line(int lineNo, const std::string& line) {
        const bool isClosing = line == m_closing;
        if (isClosing || line == m_delimiter) Delimiter(lineNo, !isClosing);
        else if (m_inPart && m_inHeaders) HeaderLine(line);
    }

    std::vector<StructureProblem> End() {
        // The headers of a part cut off by the end of the file never end.
        if (m_inPart && m_inHeaders) CheckPageCutOff();
        if (m_inPart)
            m_problems.push_back({m_partLine, "unterminated part: the part that starts on line " +
                                                  std::to_string(m_partLine) + " has no closing \"" + m_closing +
                                                  "\" after it, so a reader drops it"});
        return std::move(m_problems);
    }

private:
    void Delimiter(int lineNo, bool opensPart) {
        m_previous = m_inPart ? m_encoding : Encoding::none;
        m_inPart = opensPart;
        m_inHeaders = opensPart;
        if (opensPart) m_partLine = lineNo;
        m_encoding = Encoding::none;
    }

    void HeaderLine(const std::string& line) {
        if (line.empty()) {
            m_inHeaders = false;
            CheckPageCutOff();
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && EqualsNoCase(line.substr(0, colon), "Content-Transfer-Encoding"))
            m_encoding = EncodingOfValue(Trim(line.substr(colon + 1)));
    }

    // A part without a transfer encoding right after the page is the rest
    // of the page, cut off by a delimiter line inside it.
    void CheckPageCutOff() {
        if (m_encoding == Encoding::none && m_previous == Encoding::eightBit)
            m_problems.push_back({m_partLine, PageHoldsBoundary(m_partLine, m_delimiter)});
    }

    const std::string m_delimiter;
    const std::string m_closing;
    bool m_inPart = false;
    bool m_inHeaders = false;
    int m_partLine = 0;
    Encoding m_encoding = Encoding::none;
    Encoding m_previous = Encoding::none;
    std::vector<StructureProblem> m_problems;
};

}  // namespace

std::vector<StructureProblem> ScanStructure(const std::string& path, const std::string& boundary) {
    std::ifstream in(path, std::ios::binary);
    if (!in || boundary.empty()) return {};
    PartScanner scanner(boundary);
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        scanner.Line(lineNo, line);
    }
    return scanner.End();
}

}  // namespace qel::apps
