// The delimiter lines of a card's MIME body, seen as a reader splits them,
// for what the record alone cannot tell: a part that no delimiter ends (the
// reader drops it) and a delimiter inside the page (the reader ends the page
// there and ignores the rest). Only "--BOUNDARY" and "--BOUNDARY--" lines
// count, BOUNDARY being the one the file declares.
#pragma once

#include <string>
#include <vector>

namespace qel::apps {

struct StructureProblem {
    int line;          // 1-based line of the file the problem is found at
    std::string text;  // what is wrong, one line
};

// Scans the file at `path` (its bytes; lines end in LF or CR LF) for the
// delimiters of `boundary` (code page 932 bytes). A file without any
// delimiter line has no MIME body and no problem here.
std::vector<StructureProblem> ScanStructure(const std::string& path, const std::string& boundary);

}  // namespace qel::apps
