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
    return 0;
}
