#include "format/header_lines.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace qel::format {

namespace {

constexpr char16_t AsciiLower(char16_t c) noexcept {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

constexpr bool IsSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

constexpr std::size_t kHyphens = std::char_traits<char16_t>::length(kDelimiterHyphens);

}  // namespace

bool EqualsAscii(std::string_view bytes, std::u16string_view name) noexcept {
    if (bytes.size() != name.size()) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (AsciiLower(static_cast<unsigned char>(bytes[i])) != AsciiLower(name[i])) return false;
    return true;
}

std::string_view TrimBytes(std::string_view bytes) noexcept {
    std::size_t b = 0, e = bytes.size();
    while (b < e && IsSpace(bytes[b])) ++b;
    while (e > b && IsSpace(bytes[e - 1])) --e;
    return bytes.substr(b, e - b);
}

bool SplitHeader(std::string_view line, std::string_view& key, std::string_view& rest) noexcept {
    const std::size_t colon = line.find(static_cast<char>(kHeaderSeparator[0]));
    if (colon == std::string_view::npos || colon == 0) return false;
    key = line.substr(0, colon);
    rest = line.substr(colon + 1);
    return true;
}

bool StartsWithHyphens(std::string_view line) noexcept {
    return line.size() >= kHyphens && EqualsAscii(line.substr(0, kHyphens), kDelimiterHyphens);
}

const CardForm* FormOfTypeValue(std::string_view value) noexcept {
    for (const CardForm& form : kForms)
        if (&form != &kProjectForm && EqualsAscii(value, form.typeValue)) return &form;
    return nullptr;
}

LineReader::LineReader(ReadFn read, TooLongFn tooLong)
    : m_read(std::move(read)), m_tooLong(std::move(tooLong)), m_buffer(new char[2 * kBlock]) {}

bool LineReader::Next(std::string_view& line, std::size_t maxLength) {
    const std::size_t maxHeld = maxLength >= kAnyLength - 1 ? maxLength : maxLength + 1;
    std::size_t scanned = m_pos;
    for (;;) {
        const char* base = m_buffer.get();
        const void* nl = scanned < m_end ? std::memchr(base + scanned, '\n', m_end - scanned) : nullptr;
        if (nl) {
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(nl) - base);
            std::size_t len = at - m_pos;
            if (len > 0 && base[at - 1] == '\r') --len;
            if (len > maxLength) TooLong();
            line = std::string_view(base + m_pos, len);
            m_pos = at + 1;
            return true;
        }
        if (m_end - m_pos > maxHeld) TooLong();
        scanned = m_end - m_pos;
        if (!Fill()) break;
    }
    if (m_pos >= m_end) return false;
    if (m_end - m_pos > maxLength) TooLong();
    line = std::string_view(m_buffer.get() + m_pos, m_end - m_pos);
    m_pos = m_end;
    return true;
}

std::string_view LineReader::Buffered(std::size_t atLeast) {
    if (m_end - m_pos < atLeast) Fill();
    return {m_buffer.get() + m_pos, m_end - m_pos};
}

void LineReader::TooLong() {
    if (m_tooLong) m_tooLong();
    throw std::length_error("line too long");
}

// Moves the unread rest to the front and reads a block after it, growing
// the buffer when the rest leaves no room for one (a long line).
bool LineReader::Fill() {
    if (m_eof) return false;
    const std::size_t rest = m_end - m_pos;
    if (m_capacity - rest < kBlock) {
        const std::size_t capacity = std::max(2 * m_capacity, rest + kBlock);
        std::unique_ptr<char[]> grown(new char[capacity]);
        std::memcpy(grown.get(), m_buffer.get() + m_pos, rest);
        m_buffer = std::move(grown);
        m_capacity = capacity;
    } else if (m_pos > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_pos, rest);
    }
    m_pos = 0;
    m_end = rest;
    const std::size_t n = m_read(m_buffer.get() + m_end, kBlock);
    m_end += n;
    if (n == 0) m_eof = true;
    return n > 0;
}

}  // namespace qel::format
