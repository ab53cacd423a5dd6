// The Base64 codec: line layout, pad characters, the required length, the
// lenient decoder and its overflow report, checked against an independent
// encoder (Python's base64 module).
#include "format/base64.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "tests/support/test_support.h"

namespace {

std::string Encode(const std::string& bytes, unsigned flags = 0) {
    std::string out(Base64RequiredLength(bytes.size(), flags), '\0');
    std::size_t n = out.size();
    static const unsigned char kNothing = 0;
    const auto* p = bytes.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(bytes.data());
    EXPECT_TRUE(EncodeBase64(p, bytes.size(), out.data(), &n, flags));
    out.resize(n);
    return out;
}

std::string Decode(const std::string& text) {
    std::vector<unsigned char> out(text.size() + 1);
    std::size_t n = text.size();
    EXPECT_TRUE(DecodeBase64(text.data(), text.size(), out.data(), &n));
    return std::string(out.begin(), out.begin() + static_cast<long>(n));
}

std::string Bytes(std::size_t n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

TEST(Base64Encode, ShortInputsAndPadding) {
    EXPECT_EQ(Encode(""), "");
    EXPECT_EQ(Encode("a"), "YQ==");
    EXPECT_EQ(Encode("ab"), "YWI=");
    EXPECT_EQ(Encode("abc"), "YWJj");
    EXPECT_EQ(Encode("a", BASE64_NO_PAD), "YQ");
    EXPECT_EQ(Encode("ab", BASE64_NO_PAD), "YWI");
    EXPECT_EQ(Encode("data1"), "ZGF0YTE=");
    EXPECT_EQ(Encode(std::string("\xFF\xFE\x00", 3)), "//4A");
}

TEST(Base64Encode, LineLayoutAroundOneFullLine) {
    const std::string line57 = Encode(Bytes(57));
    ASSERT_EQ(line57.size(), 78u);  // a full line keeps its CR LF
    EXPECT_EQ(line57.substr(76), "\r\n");
    EXPECT_EQ(Base64RequiredLength(57, 0), 80u);

    const std::string s58 = Encode(Bytes(58));
    ASSERT_EQ(s58.size(), 82u);
    EXPECT_EQ(s58.substr(76, 2), "\r\n");
    EXPECT_EQ(s58.substr(80), "==");

    const std::string s60 = Encode(Bytes(60));
    ASSERT_EQ(s60.size(), 82u);
    EXPECT_EQ(s60.substr(76, 2), "\r\n");
    EXPECT_EQ(s60.find('='), std::string::npos);

    const std::string s114 = Encode(Bytes(114));
    EXPECT_EQ(s114.size(), 156u);
    EXPECT_EQ(s114.substr(76, 2), "\r\n");
    EXPECT_EQ(s114.substr(154), "\r\n");
}

TEST(Base64Encode, FlagsSuppressPadAndLineBreaks) {
    for (std::size_t n = 0; n <= 300; ++n) {
        const std::string data = Bytes(n, static_cast<unsigned>(n));
        const std::string plain = Encode(data, BASE64_NO_LINE_BREAKS);
        EXPECT_EQ(plain.find_first_of("\r\n"), std::string::npos) << n;
        EXPECT_EQ(plain.size(), (n + 2) / 3 * 4) << n;
        const std::string bare = Encode(data, BASE64_NO_LINE_BREAKS | BASE64_NO_PAD);
        EXPECT_EQ(bare, plain.substr(0, plain.find('='))) << n;
    }
}

TEST(Base64Encode, RequiredLengthBoundsEveryOutput) {
    for (unsigned flags = 0; flags < 4; ++flags)
        for (std::size_t n = 0; n <= 1200; ++n) {
            const std::string data = Bytes(n);
            std::string out(Base64RequiredLength(n, flags), '#');
            std::size_t written = out.size();
            ASSERT_TRUE(
                EncodeBase64(reinterpret_cast<const unsigned char*>(data.data()), n, out.data(), &written, flags));
            ASSERT_LE(written, out.size()) << n << " flags " << flags;
            // One short of the bound is refused with nothing written, even
            // when the text itself would fit.
            if (out.empty()) continue;
            std::string small(out.size() - 1, '#');
            std::size_t cap = small.size();
            EXPECT_FALSE(
                EncodeBase64(reinterpret_cast<const unsigned char*>(data.data()), n, small.data(), &cap, flags));
            EXPECT_EQ(small, std::string(out.size() - 1, '#'));
        }
}

TEST(Base64Encode, RejectsMissingArgumentsAndHugeCounts) {
    char out[16];
    std::size_t n = sizeof out;
    const unsigned char in[3] = {1, 2, 3};
    EXPECT_FALSE(EncodeBase64(nullptr, 3, out, &n, 0));
    EXPECT_FALSE(EncodeBase64(in, 3, static_cast<char*>(nullptr), &n, 0));
    EXPECT_FALSE(EncodeBase64(in, 3, out, nullptr, 0));
    EXPECT_EQ(Base64RequiredLength(536870911, 0), 734665460u);
    try {
        Base64RequiredLength(536870912, 0);
        FAIL() << "no exception";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.m_hr, E_FAIL);
    }
    EXPECT_THROW(EncodeBase64(in, 536870912, out, &n, 0), CHResultException);
}

TEST(Base64Encode, WideOutputMatchesNarrow) {
    for (std::size_t n : {0u, 1u, 2u, 56u, 57u, 58u, 171u, 1000u}) {
        const std::string data = Bytes(n);
        const std::string narrow = Encode(data);
        std::u16string wide = u"head:";
        qel::format::AppendBase64(wide, reinterpret_cast<const unsigned char*>(data.data()), n, 0);
        EXPECT_EQ(wide, u"head:" + std::u16string(narrow.begin(), narrow.end())) << n;
    }
}

TEST(Base64Decode, SkipsEverythingOutsideTheAlphabet) {
    EXPECT_EQ(Decode("YQ=="), "a");
    EXPECT_EQ(Decode("YQ"), "a");
    EXPECT_EQ(Decode("Y Q"), "a");
    EXPECT_EQ(Decode("Y"), "");
    EXPECT_EQ(Decode("YWI"), "ab");
    // Pad characters do not end a group: the four digits form one.
    EXPECT_EQ(Decode("YQ==YQ=="), "\x61\x06\x10");
    EXPECT_EQ(Decode("YW\r\nJj\xE3\x81\x82"), "abc");
    // NUL ends the text only where a group starts.
    EXPECT_EQ(Decode(std::string("YWJj\0YWJj", 9)), "abc");
    EXPECT_EQ(Decode(std::string("YW\0JjYQ", 7)), "abca");
}

TEST(Base64Decode, ReportsOverflowWithTheFullCount) {
    const std::string text = Encode(Bytes(100));
    std::vector<unsigned char> out(100, 0xEE);
    std::size_t n = 99;  // one byte short
    EXPECT_FALSE(DecodeBase64(text.data(), text.size(), out.data(), &n));
    EXPECT_EQ(n, 100u);
    // The last full group (bytes 96..98) fits; the one-byte tail does not.
    EXPECT_EQ(std::string(out.begin(), out.begin() + 99), Bytes(100).substr(0, 99));
    EXPECT_EQ(out[99], 0xEE);

    // A group that does not fit whole is not written in part.
    std::vector<unsigned char> two(3, 0xEE);
    n = 2;
    EXPECT_FALSE(DecodeBase64("YWJj", 4, two.data(), &n));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(two[0], 0xEE);

    // Without a buffer the decoder counts.
    n = 0;
    EXPECT_FALSE(DecodeBase64(text.data(), text.size(), nullptr, &n));
    EXPECT_EQ(n, 100u);
    EXPECT_FALSE(DecodeBase64(nullptr, 4, out.data(), &n));
    EXPECT_FALSE(DecodeBase64("YQ", 2, out.data(), nullptr));
}

TEST(Base64Decode, WholeBufferWrapper) {
    std::size_t count = 99;
    const std::unique_ptr<unsigned char[]> b = qel::format::DecodeBase64Bytes("YWJj\r\nZA==", 10, count);
    ASSERT_TRUE(b);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.get()), count), "abcd");
    count = 99;
    EXPECT_EQ(qel::format::DecodeBase64Bytes(nullptr, 10, count), nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(qel::format::DecodeBase64Bytes("", 0, count));
    EXPECT_EQ(count, 0u);
}

TEST(Base64Decode, DigitValues) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int c = 0; c < 256; ++c) {
        const auto at = alphabet.find(static_cast<char>(c));
        EXPECT_EQ(Base64DigitValue(static_cast<char>(c)), at == std::string::npos ? -1 : static_cast<int>(at)) << c;
    }
}

// The reference: Python's base64 for every length from 0 to 300, with the
// lines joined as the format wants them (76 characters, CR LF, the CR LF
// after a last full line kept).
class Base64Reference : public qel::test::TempDirTest {};

TEST_F(Base64Reference, MatchesPythonForEveryLengthUpTo300) {
    std::string blob;
    for (std::size_t n = 0; n <= 300; ++n) blob += Bytes(n, static_cast<unsigned>(n + 7));
    WriteFile("data.bin", blob);
    const std::string cmd =
        "python3 -c 'import base64,sys\n"
        "d=open(sys.argv[1],\"rb\").read()\n"
        "at=0\n"
        "for n in range(301):\n"
        "  print(base64.b64encode(d[at:at+n]).decode()); at+=n' " +
        path("data.bin").string();
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string ref;
    char buf[4096];
    while (std::size_t k = std::fread(buf, 1, sizeof buf, p)) ref.append(buf, k);
    ASSERT_EQ(::pclose(p), 0) << "python3 failed";

    std::size_t line = 0;
    for (std::size_t n = 0; n <= 300; ++n) {
        const std::size_t eol = ref.find('\n', line);
        ASSERT_NE(eol, std::string::npos);
        const std::string flat = ref.substr(line, eol - line);
        line = eol + 1;
        std::string expected;
        for (std::size_t i = 0; i < flat.size(); i += 76) expected += (i ? "\r\n" : "") + flat.substr(i, 76);
        if (n > 0 && n % 57 == 0) expected += "\r\n";
        const std::string data = Bytes(n, static_cast<unsigned>(n + 7));
        const std::string ours = Encode(data);
        ASSERT_EQ(ours, expected) << "length " << n;
        EXPECT_EQ(Decode(ours), data) << "length " << n;
    }
}

}  // namespace

namespace {

// The decoding rule written out plainly, as the reference for the decoder's
// fast paths: groups of up to four digits, foreign characters skipped, a NUL
// at the start of a group ends the text, nothing written from the first
// group that does not fit on.
bool ReferenceDecode(const std::string& text, std::vector<unsigned char>& out, std::size_t capacity,
                     std::size_t& count) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    bool overflow = false;
    std::size_t written = 0, pos = 0;
    while (pos < text.size() && text[pos] != '\0') {
        unsigned v = 0, digits = 0;
        for (; digits < 4 && pos < text.size(); ++pos) {
            const auto d = alphabet.find(text[pos]);
            if (d == std::string::npos || text[pos] == '\0') continue;
            v = (v << 6) | static_cast<unsigned>(d);
            ++digits;
        }
        v <<= 6 * (4 - digits);
        const std::size_t n = 6 * digits / 8;
        if (!overflow && capacity < written + n) overflow = true;
        for (std::size_t i = 0; i < n; ++i, ++written)
            if (!overflow) out[written] = static_cast<unsigned char>(v >> (16 - 8 * i));
    }
    count = written;
    return !overflow;
}

TEST(Base64Decode, MatchesThePlainRuleOnMixedTextAndCapacities) {
    std::mt19937 rng(11);
    const std::string noise = std::string("\r\n=\r\n \0\x80\xFF-_.\0", 13);
    for (int round = 0; round < 3000; ++round) {
        // Long runs of clean groups and lines, with foreign characters
        // sprinkled at random places.
        std::string text = Encode(Bytes(rng() % 400, static_cast<unsigned>(round)));
        const unsigned sprinkle = rng() % 4 == 0 ? 0 : static_cast<unsigned>(rng() % 6);
        for (unsigned k = 0; k < sprinkle && !text.empty(); ++k)
            text.insert(rng() % (text.size() + 1), 1, noise[rng() % noise.size()]);
        const std::size_t capacity = rng() % 2 ? text.size() : rng() % (text.size() / 2 + 2);

        // One byte more than the capacity, to see that nothing is written past it.
        std::vector<unsigned char> expected(capacity + 1, 0xEE), actual(capacity + 1, 0xEE);
        std::size_t expectedCount = 0, actualCount = capacity;
        const bool expectedOk = ReferenceDecode(text, expected, capacity, expectedCount);
        const bool ok = DecodeBase64(text.data(), text.size(), actual.data(), &actualCount);
        ASSERT_EQ(ok, expectedOk) << "round " << round;
        ASSERT_EQ(actualCount, expectedCount) << "round " << round;
        ASSERT_EQ(actual, expected) << "round " << round;  // the untouched tail included
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The vector paths against the scalar reference: every length 0-300 with
// every flag combination, both output widths, and the decoder on clean text,
// on text with foreign characters and line breaks anywhere, and on short
// buffers.

namespace {

using qel::format::Base64Path;

std::vector<Base64Path> VectorPaths() {
    std::vector<Base64Path> paths;
    for (Base64Path p : {Base64Path::ssse3, Base64Path::avx2, Base64Path::avx512})
        if (qel::format::Base64PathAvailable(p)) paths.push_back(p);
    return paths;
}

// The encoding on one path, as 8-bit text (std::string) or wide text.
template <class Text = std::string>
Text EncodeOn(Base64Path path, const std::string& bytes, unsigned flags) {
    Text out(Base64RequiredLength(bytes.size(), flags), '\0');
    std::size_t n = out.size();
    static const unsigned char kNothing = 0;
    const auto* p = bytes.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(bytes.data());
    EXPECT_TRUE(qel::format::EncodeBase64On(path, p, bytes.size(), out.data(), &n, flags));
    out.resize(n);
    return out;
}

// The decoder's result and the count it reports, for a given capacity.
std::pair<bool, std::string> DecodeOn(Base64Path path, const std::string& text, std::size_t capacity) {
    std::string out(capacity + 1, '\x5A');
    std::size_t n = capacity;
    const bool ok =
        qel::format::DecodeBase64On(path, text.data(), text.size(), reinterpret_cast<unsigned char*>(out.data()), &n);
    // The whole buffer: what lies beyond the bytes written must be untouched.
    return {ok, out + "/" + std::to_string(n)};
}

}  // namespace

TEST(Base64Paths, EncodeLikeTheScalarCodeForEveryLengthAndFlag) {
    const auto paths = VectorPaths();
    if (paths.empty()) GTEST_SKIP() << "no vector path on this processor";
    for (std::size_t len = 0; len <= 300; ++len) {
        const std::string bytes = Bytes(len, static_cast<unsigned>(len) + 7);
        for (unsigned flags : {0u, BASE64_NO_PAD, BASE64_NO_LINE_BREAKS, BASE64_NO_PAD | BASE64_NO_LINE_BREAKS}) {
            const std::string expected = EncodeOn(Base64Path::scalar, bytes, flags);
            const std::u16string expectedWide(expected.begin(), expected.end());
            for (Base64Path path : paths) {
                ASSERT_EQ(EncodeOn(path, bytes, flags), expected) << "length " << len << " flags " << flags;
                ASSERT_EQ(EncodeOn<std::u16string>(path, bytes, flags), expectedWide)
                    << "length " << len << " flags " << flags;
            }
        }
    }
}

TEST(Base64Paths, DecodeLikeTheScalarCodeOnCleanAndDirtyText) {
    const auto paths = VectorPaths();
    if (paths.empty()) GTEST_SKIP() << "no vector path on this processor";
    std::mt19937 rng(42);
    for (std::size_t len = 0; len <= 300; ++len) {
        const std::string bytes = Bytes(len, static_cast<unsigned>(len) + 11);
        const std::string clean = Encode(bytes);
        std::string dirty = clean;
        // Foreign characters, pads, NULs and bare line breaks at random spots.
        static const char kNoise[] = {'\r', '\n', '=', ' ', '\0', '\x81', '*', '-'};
        for (int k = 0; k < 3 && !dirty.empty(); ++k)
            dirty.insert(dirty.begin() + static_cast<long>(rng() % dirty.size()), kNoise[rng() % sizeof kNoise]);
        for (const std::string* text : {&clean, static_cast<const std::string*>(&dirty)}) {
            for (std::size_t capacity : {len, len / 2, std::size_t{0}, len + 5}) {
                const auto expected = DecodeOn(Base64Path::scalar, *text, capacity);
                for (Base64Path path : paths)
                    ASSERT_EQ(DecodeOn(path, *text, capacity), expected)
                        << "length " << len << " capacity " << capacity << (text == &clean ? " clean" : " dirty");
            }
        }
        EXPECT_EQ(DecodeOn(Base64Path::scalar, clean, len).second, bytes + "Z/" + std::to_string(len));
    }
}

// Each vector step judges its characters by tables of its own: every byte
// value, at the start, the middle and the end of a step, must be judged as
// the scalar code judges it.
TEST(Base64Paths, EveryByteValueInsideAStepDecodesLikeTheScalarCode) {
    const auto paths = VectorPaths();
    if (paths.empty()) GTEST_SKIP() << "no vector path on this processor";
    const std::string clean = Encode(Bytes(96, 3), BASE64_NO_LINE_BREAKS);  // 128 digits: two steps of any path
    for (std::size_t at : {0u, 15u, 31u, 47u, 63u, 64u, 127u}) {
        for (int value = 0; value < 256; ++value) {
            std::string text = clean;
            text[at] = static_cast<char>(value);
            const auto expected = DecodeOn(Base64Path::scalar, text, 96);
            for (Base64Path path : paths)
                ASSERT_EQ(DecodeOn(path, text, 96), expected) << "byte " << value << " at " << at;
        }
    }
}

TEST(Base64Paths, RandomLargeInputsRoundTripOnEveryPath) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const std::string bytes = Bytes(rng() % 200000, static_cast<unsigned>(round));
        const std::string expected = EncodeOn(Base64Path::scalar, bytes, 0);
        for (Base64Path path : VectorPaths()) {
            ASSERT_EQ(EncodeOn(path, bytes, 0), expected);
            ASSERT_EQ(DecodeOn(path, expected, bytes.size()).second, bytes + "Z/" + std::to_string(bytes.size()));
        }
    }
}

TEST(Base64Paths, DecodeLinesTakesOnlyWholeLinesOfTheEncodersLayout) {
    const std::string bytes = Bytes(57 * 4 + 10, 5);
    const std::string text = Encode(bytes);  // four full lines, then a short one
    std::string lf = text;
    for (std::size_t at = lf.find('\r'); at != std::string::npos; at = lf.find('\r', at)) lf.erase(at, 1);
    std::string dirty = text;
    dirty[78 + 30] = '=';
    const struct {
        const char* what;
        std::string text;
        std::size_t capacity, lines, used;
    } cases[] = {
        {"CR LF lines, the short one left", text, 1000, 4, 4 * 78},
        {"LF lines", lf, 1000, 4, 4 * 77},
        {"CR LF lines, then LF lines", text.substr(0, 2 * 78) + lf.substr(2 * 77), 1000, 4, 2 * 78 + 2 * 77},
        {"room for two lines", text, 57 * 3 - 1, 2, 2 * 78},
        {"a pad character in the second line", dirty, 1000, 1, 78},
        {"the line end not read yet", text.substr(0, 78 + 77), 1000, 1, 78},
        {"a delimiter", "--" + text, 1000, 0, 0},
        {"nothing", "", 1000, 0, 0},
    };
    std::vector<Base64Path> paths = VectorPaths();
    paths.push_back(Base64Path::scalar);
    for (const auto& c : cases) {
        for (Base64Path path : paths) {
            std::string out(c.capacity, '\0');
            std::size_t used = 99;
            const std::size_t n = qel::format::DecodeBase64LinesOn(
                path, c.text.data(), c.text.size(), reinterpret_cast<unsigned char*>(out.data()), c.capacity, &used);
            EXPECT_EQ(used, c.used) << c.what;
            ASSERT_EQ(n, 57 * c.lines) << c.what;
            EXPECT_EQ(out.substr(0, n), bytes.substr(0, n)) << c.what;
        }
    }
}

namespace {

// The paths a pretended processor has, one bit each (bit i: Base64Path(i)).
unsigned g_pretended = 0;
bool Pretended(Base64Path path) { return (g_pretended >> static_cast<unsigned>(path) & 1U) != 0; }

// The codec runs on the best path the processor has, whichever processor
// runs the test: the choice itself is tried on every mix of paths.
TEST(Base64Paths, TheDispatchTakesTheBestPathTheProcessorHas) {
    EXPECT_EQ(qel::format::Base64DispatchPath(), qel::format::BestBase64Path(qel::format::Base64PathAvailable));
    const struct {
        unsigned pretended;
        Base64Path best;
    } cases[] = {
        {0b1111, Base64Path::avx512}, {0b1001, Base64Path::avx512}, {0b0111, Base64Path::avx2},
        {0b0101, Base64Path::avx2},   {0b0011, Base64Path::ssse3},  {0b0001, Base64Path::scalar},
        {0b0000, Base64Path::scalar},
    };
    for (const auto& c : cases) {
        g_pretended = c.pretended;
        EXPECT_EQ(qel::format::BestBase64Path(Pretended), c.best) << c.pretended;
    }
}

}  // namespace
