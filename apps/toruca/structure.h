// A card file's lines seen as a reader splits them, for what the record
// alone cannot tell: a part that no delimiter ends (the reader drops it), a
// delimiter inside the page (the reader ends the page there and ignores the
// rest), a part without a Content-Type, and the header values as written
// (the record keeps "Cat: 00FC" as 0). Only "--BOUNDARY" and "--BOUNDARY--"
// lines count as delimiters, BOUNDARY being the one the file declares.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qel::apps {

struct StructureProblem {
    int line;              // 1-based line of the file the problem is found at
    const char* kind;      // "unterminated-part", "boundary-in-page" or "untyped-part"
    std::string text;      // what is wrong, one line
    bool warning = false;  // the part is read, but a handset may not show it
};

struct FileScan {
    std::vector<StructureProblem> problems;
    // The values of the header lines before the first delimiter ("Key:
    // value"), by key in lower case, trimmed; the last line of a key wins,
    // as in the reader. Code page 932 bytes.
    std::map<std::string, std::string> headers;
};

// Scans the file at `path` (its bytes; lines end in LF or CR LF) with the
// delimiters of `boundary` (code page 932 bytes). A file without any
// delimiter line has no MIME body and no problem of its parts.
FileScan ScanFile(const std::string& path, const std::string& boundary);

}  // namespace qel::apps
