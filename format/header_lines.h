// The lines of a card file as bytes, and what a header line says: the
// module's reader reads every file through these, and the handset limits
// (which qelhost links, never the module) read a written card's header
// with them. Only the C++ library is used here.
//
// Lines are the file's code page 932 bytes. The keys and values compared are
// ASCII, and ':', '-' and ASCII white space are never the second byte of a
// character, so comparing and splitting bytes gives the answers the decoded
// text would.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "format/toruca_format.h"

namespace qel::format {

// Equality ignoring ASCII case of bytes and an ASCII name.
bool EqualsAscii(std::string_view bytes, std::u16string_view name) noexcept;
// The bytes without ASCII white space at either end.
std::string_view TrimBytes(std::string_view bytes) noexcept;
// A header line "key: value": the key is the text before the first colon,
// which must not be the first character; `rest` is what follows the colon,
// untrimmed. False for a line that is no header line.
bool SplitHeader(std::string_view line, std::string_view& key, std::string_view& rest) noexcept;
// True for a line that starts with the hyphens of a delimiter.
bool StartsWithHyphens(std::string_view line) noexcept;
// The form a Type line's value (trimmed) names, ignoring case: only the
// forms that share a magic line are told apart by it, so "PROJECT" and
// anything else give null.
const CardForm* FormOfTypeValue(std::string_view value) noexcept;

// The lines of a file as views into one buffer, read in blocks of 256 KiB
// (small enough that a block is still in the processor's cache when its
// lines are used, large enough that the calls cost nothing): a line ends at
// LF or CR LF (both removed), a CR that no LF follows stays in the line, a
// last line without an end is read. The buffer grows for a longer line.
class LineReader {
public:
    // Reads up to `want` bytes into `into`; 0 at the end. May raise.
    using ReadFn = std::function<std::size_t(char* into, std::size_t want)>;
    // Called for a line longer than the limit Next was given, before it is
    // held whole, to raise the caller's error; std::length_error is raised
    // when there is none or it returns.
    using TooLongFn = std::function<void()>;
    // Any line length.
    static constexpr std::size_t kAnyLength = static_cast<std::size_t>(-1);

    LineReader(ReadFn read, TooLongFn tooLong);

    // The next line, valid until the next call; false at the end.
    bool Next(std::string_view& line, std::size_t maxLength = kAnyLength);
    // For a caller that takes whole lines itself: the bytes read and not yet
    // taken, reading more first when fewer than `atLeast` are held and the
    // file goes on. Valid until the next call.
    std::string_view Buffered(std::size_t atLeast);
    // Takes `count` bytes of those Buffered gave.
    void Skip(std::size_t count) noexcept { m_pos += count; }

private:
    static constexpr std::size_t kBlock = std::size_t{256} << 10;

    [[noreturn]] void TooLong();
    bool Fill();

    ReadFn m_read;
    TooLongFn m_tooLong;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 2 * kBlock;  // room for a block after the rest of a line
    std::size_t m_pos = 0, m_end = 0;
    bool m_eof = false;
};

}  // namespace qel::format
