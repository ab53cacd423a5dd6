// Text conversion service of the host.
#pragma once

class CFileEngineer {
public:
    // A new wide copy of NUL-terminated ASCII text, each byte widened to the
    // same code unit; the caller releases it with delete[]. Null for null.
    static char16_t* convertToUnicode(const char* text, int reserved);
};
