#include "cli/structure.h"

#include <fstream>

namespace qel::cli {

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

}  // namespace

std::vector<StructureProblem> ScanStructure(const std::string& path, const std::string& boundary) {
    std::vector<StructureProblem> problems;
    std::ifstream in(path, std::ios::binary);
    if (!in || boundary.empty()) return problems;
    const std::string delimiter = "--" + boundary;
    const std::string closing = delimiter + "--";

    bool inPart = false, inHeaders = false;
    int partLine = 0, lineNo = 0;
    Encoding encoding = Encoding::none, previous = Encoding::none;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool isClosing = line == closing;
        if (isClosing || line == delimiter) {
            previous = inPart ? encoding : Encoding::none;
            inPart = !isClosing;
            inHeaders = inPart;
            if (inPart) partLine = lineNo;
            encoding = Encoding::none;
            continue;
        }
        if (!inPart || !inHeaders) continue;
        if (line.empty()) {
            inHeaders = false;
            // A part without a transfer encoding right after the page is
            // the rest of the page, cut off by a delimiter line inside it.
            if (encoding == Encoding::none && previous == Encoding::eightBit)
                problems.push_back({partLine, PageHoldsBoundary(partLine, delimiter)});
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (EqualsNoCase(line.substr(0, colon), "Content-Transfer-Encoding")) {
            const std::string value = Trim(line.substr(colon + 1));
            encoding = EqualsNoCase(value, "8bit")     ? Encoding::eightBit
                       : EqualsNoCase(value, "base64") ? Encoding::base64
                                                       : Encoding::other;
        }
    }
    // The headers of a part cut off by the end of the file never end.
    if (inPart && inHeaders && encoding == Encoding::none && previous == Encoding::eightBit)
        problems.push_back({partLine, PageHoldsBoundary(partLine, delimiter)});
    if (inPart)
        problems.push_back({partLine, "unterminated part: the part that starts on line " + std::to_string(partLine) +
                                          " has no closing \"" + closing + "\" after it, so a reader drops it"});
    return problems;
}

}  // namespace qel::cli
