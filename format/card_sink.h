// Where the card layout (the writer, format/tpj_writer.h) is written: a wide string
// (the text GetFileText returns) or code page 932 bytes that go to a file in
// large blocks as they are made. Both receive the same calls, so the two
// outputs cannot drift apart: the bytes are exactly WideToCp932 of the text.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qel::format {

class CardSink {
public:
    virtual ~CardSink() = default;
    // Wide text as the record holds it; a NUL is a character like any other.
    virtual void Text(std::u16string_view text) = 0;
    // The Base64 of `count` bytes as EncodeBase64 writes it with `flags`.
    // Successive calls give the encoding of the bytes taken together as long
    // as every call but the last has a multiple of 57 bytes (one full line).
    virtual void Base64(const unsigned char* bytes, std::size_t count, unsigned flags) = 0;
    // True when the sink wants the text's size ahead (SizeHint); working it
    // out costs a look at every image file.
    virtual bool WantsSizeHint() const { return false; }
    // An upper bound of the characters still to come.
    virtual void SizeHint(std::size_t /*characters*/) {}
};

// Appends to a wide string, allocated once from the size hint.
class WideTextSink final : public CardSink {
public:
    explicit WideTextSink(std::u16string& text) : m_text(text) {}
    void Text(std::u16string_view text) override { m_text += text; }
    void Base64(const unsigned char* bytes, std::size_t count, unsigned flags) override;
    bool WantsSizeHint() const override { return true; }
    void SizeHint(std::size_t characters) override;

private:
    std::u16string& m_text;
};

// Converts to code page 932 as it goes (as WideToCp932 does: a NUL is the
// byte 0, a character the code page lacks its decimal reference) and hands
// the bytes to `write` in blocks of `blockBytes` (the last one shorter). Memory stays at one
// block whatever the size of the output. `write` raises to stop the
// writing (CFile::Write does); Flush hands over what is left.
class Cp932BlockSink final : public CardSink {
public:
    using WriteFn = std::function<void(const char* bytes, std::size_t count)>;
    // Large enough that a write costs little beside its bytes, small enough
    // that the block is still in the processor's cache when it is written.
    static constexpr std::size_t kDefaultBlockBytes = std::size_t{1} << 20;

    explicit Cp932BlockSink(WriteFn write, std::size_t blockBytes = kDefaultBlockBytes);
    void Text(std::u16string_view text) override;
    void Base64(const unsigned char* bytes, std::size_t count, unsigned flags) override;
    void Flush();

private:
    void Put(const char* bytes, std::size_t count);
    WriteFn m_write;
    std::size_t m_capacity;
    std::unique_ptr<char[]> m_block;
    std::size_t m_used = 0;
    std::string m_scratch;  // converted text on its way into the block
};

}  // namespace qel::format
