// The Base64 decoder on arbitrary text and capacities, and the encode/decode
// round trip of arbitrary bytes under every flag.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "format/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t capacity = data[0] * 4u;  // first byte: the capacity
    const char* text = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    std::size_t full = length;
    std::vector<unsigned char> big(length + 1);
    const bool fits = DecodeBase64(text, length, big.data(), &full);
    if (!fits || full > length) std::abort();  // length characters never give more bytes

    std::vector<unsigned char> small(capacity + 1);  // never empty: a null buffer means "count only"
    std::size_t n = capacity;
    const bool ok = DecodeBase64(text, length, small.data(), &n);
    if (n != full || ok != (full <= capacity)) std::abort();
    if (ok && std::memcmp(small.data(), big.data(), full) != 0) std::abort();

    const unsigned flags = data[0] & 3u;
    const std::size_t required = Base64RequiredLength(length, flags);
    std::vector<char> encoded(required + 1);  // never empty: a null buffer is a missing argument
    std::size_t m = required;
    if (!EncodeBase64(data + 1, length, encoded.data(), &m, flags) || m > required) std::abort();
    std::vector<unsigned char> back(m + 1);
    std::size_t k = back.size();
    if (!DecodeBase64(encoded.data(), m, back.data(), &k) || k != length) std::abort();
    if (length && std::memcmp(back.data(), data + 1, length) != 0) std::abort();

    // Every vector path gives the scalar code's answer, byte for byte, and
    // writes nothing beyond it.
    using qel::format::Base64Path;
    std::vector<unsigned char> ref(capacity + 1, 0xA5);
    std::size_t refCount = capacity;
    const bool refOk = qel::format::DecodeBase64On(Base64Path::scalar, text, length, ref.data(), &refCount);
    std::vector<char> refText(required + 1);
    std::size_t refLength = required;
    qel::format::EncodeBase64On(Base64Path::scalar, data + 1, length, refText.data(), &refLength, flags);
    for (Base64Path path : {Base64Path::ssse3, Base64Path::avx2, Base64Path::avx512}) {
        if (!qel::format::Base64PathAvailable(path)) continue;
        std::vector<unsigned char> got(capacity + 1, 0xA5);
        std::size_t count = capacity;
        if (qel::format::DecodeBase64On(path, text, length, got.data(), &count) != refOk || count != refCount ||
            got != ref)
            std::abort();
        std::vector<char> gotText(required + 1);
        std::size_t gotLength = required;
        qel::format::EncodeBase64On(path, data + 1, length, gotText.data(), &gotLength, flags);
        if (gotLength != refLength || gotText != refText) std::abort();
    }
    return 0;
}
