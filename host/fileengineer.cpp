#include "host/fileengineer.h"

#include <cstring>

char16_t* CFileEngineer::convertToUnicode(const char* text, int /*reserved*/) {
    if (text == nullptr) return nullptr;
    const std::size_t n = std::strlen(text);
    auto* wide = new char16_t[n + 1];
    for (std::size_t i = 0; i < n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    wide[n] = u'\0';
    return wide;
}
