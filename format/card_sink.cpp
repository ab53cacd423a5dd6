#include "format/card_sink.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "format/base64.h"
#include "format/toruca_format.h"
#include "framework/codepage.h"
#include "framework/hugepages.h"

namespace qel::format {

namespace {

// Bytes of one Base64 line, and the characters it takes with its CR LF.
constexpr std::size_t kLineBytes = qel::format::kBase64LineLength / 4 * 3;
constexpr std::size_t kLineChars = qel::format::kBase64LineLength + 2;
// Text converted in slices of this many code units, so that a long page
// needs no second copy of itself as bytes.
constexpr std::size_t kTextSlice = std::size_t{1} << 16;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

void WideTextSink::Base64(const unsigned char* bytes, std::size_t count, unsigned flags) {
    AppendBase64(m_text, bytes, count, flags);
}

void WideTextSink::SizeHint(std::size_t characters) {
    m_text.reserve(m_text.size() + characters);
    qel::framework::AdviseHugePages(m_text.data(), m_text.capacity() * sizeof(char16_t));
}

Cp932BlockSink::Cp932BlockSink(WriteFn write, std::size_t blockBytes)
    : m_write(std::move(write)), m_capacity(std::max(blockBytes, 4 * kLineChars)), m_block(new char[m_capacity]) {}

void Cp932BlockSink::Flush() {
    if (m_used == 0) return;
    // Emptied first: a write that raises leaves nothing to be written twice.
    const std::size_t n = std::exchange(m_used, 0);
    m_write(m_block.get(), n);
}

void Cp932BlockSink::Put(const char* bytes, std::size_t count) {
    while (count > 0) {
        const std::size_t n = std::min(count, m_capacity - m_used);
        std::memcpy(m_block.get() + m_used, bytes, n);
        m_used += n;
        bytes += n;
        count -= n;
        if (m_used == m_capacity) Flush();
    }
}

void Cp932BlockSink::Text(std::u16string_view text) {
    while (!text.empty()) {
        std::size_t take = std::min(text.size(), kTextSlice);
        // A surrogate pair is one character: never split between slices.
        if (take < text.size() && IsHighSurrogate(text[take - 1])) --take;
        m_scratch.clear();
        qel::framework::AppendWideAsCp932(m_scratch, text.substr(0, take));
        Put(m_scratch.data(), m_scratch.size());
        text.remove_prefix(take);
    }
}

void Cp932BlockSink::Base64(const unsigned char* bytes, std::size_t count, unsigned flags) {
    // Base64 digits are ASCII, the same bytes in code page 932: encoded
    // straight into the block. What does not fit is cut after a whole line,
    // so that the pieces join up; the line that would cross the block's end
    // goes through Put, so that every block but the last is handed on full
    // (the file is written in blocks of one size at multiples of it).
    const std::size_t pieceBytes = (m_capacity / kLineChars - 1) * kLineBytes;
    while (count > 0) {
        const std::size_t room = m_capacity - m_used;
        std::size_t take = std::min(count, pieceBytes);
        if (Base64RequiredLength(take, flags) > room) {
            // Whole lines that fit, with room for the bound's closing CR LF.
            take = std::min(take, room > 2 ? (room - 2) / kLineChars * kLineBytes : 0);
            if (take == 0) {
                char line[kLineChars + 2];  // Base64RequiredLength(kLineBytes, 0)
                const std::size_t piece = std::min(count, kLineBytes);
                std::size_t written = sizeof line;
                EncodeBase64(bytes, piece, line, &written, flags);
                Put(line, written);
                bytes += piece;
                count -= piece;
                continue;
            }
        }
        std::size_t written = room;
        EncodeBase64(bytes, take, m_block.get() + m_used, &written, flags);
        m_used += written;
        bytes += take;
        count -= take;
    }
}

}  // namespace qel::format
