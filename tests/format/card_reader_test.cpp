// The reader against a store of its own: Base64 bodies of every shape decode
// as the whole body read as one text would (lines gathered into runs must
// never change a byte), large attachments reach the store in large blocks,
// and the store sees exactly the parts that are taken.
#include "format/card_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "format/attachment_store.h"
#include "format/base64.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "model/tpjfile.h"
#include "tests/support/test_support.h"

namespace {

// Attachments in memory; every call is recorded.
class MemoryStore final : public qel::format::AttachmentStore {
public:
    struct Item {
        std::u16string name;
        std::string bytes;
        std::vector<std::size_t> writes;
    };
    void Create(const std::u16string& name) override {
        EXPECT_FALSE(open) << "one attachment at a time";
        open = true;
        current = Item{name, {}, {}};
    }
    void Write(const unsigned char* bytes, std::size_t count) override {
        EXPECT_TRUE(open);
        if (failAfter != std::string::npos && current.bytes.size() + count > failAfter)
            throw CFileException(CFileException::diskFull, 28, u"/mem/" + current.name);
        current.bytes.append(reinterpret_cast<const char*>(bytes), count);
        if (count > 0) current.writes.push_back(count);
    }
    std::u16string Commit() override {
        EXPECT_TRUE(open);
        open = false;
        committed.push_back(current);
        return u"/mem/" + qel::framework::Utf8ToWide(std::to_string(committed.size()));
    }
    void Discard() noexcept override {
        if (open) ++discarded;
        open = false;
    }
    void RemoveCommitted() noexcept override { removed = committed.size(); }

    bool open = false;
    Item current;
    std::vector<Item> committed;
    int discarded = 0;
    std::size_t removed = 0;
    std::size_t failAfter = std::string::npos;
};

std::string Card(const std::vector<std::string>& bodies, bool closed = true) {
    std::string s =
        "ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nURL: u\r\n\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;boundary=\"b\"\r\n\r\n";
    int n = 0;
    for (const std::string& body : bodies) {
        ++n;
        s += "--b\r\nContent-Type: image/gif;name=\"i" + std::to_string(n) +
             ".gif\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <image" + std::to_string(n) + ">\r\n\r\n";
        s += body;
    }
    if (closed) s += "--b--\r\n";
    return s;
}

// What a body decodes to, read as one text with a line end after each line.
std::string AsOneText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    std::string out(text.size() + 1, '\0');
    std::size_t n = text.size();
    EXPECT_TRUE(DecodeBase64(text.data(), text.size(), reinterpret_cast<unsigned char*>(out.data()), &n));
    out.resize(n);
    return out;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    return s;
}

std::string Encoded(const std::string& bytes) {
    std::string out(Base64RequiredLength(bytes.size(), 0), '\0');
    std::size_t n = out.size();
    EncodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data(), &n, 0);
    out.resize(n);
    return out;
}

class CardReader : public qel::test::TempDirTest {
protected:
    bool Read(const std::string& file, MemoryStore& store) {
        const std::u16string path = WriteFile("card.trc", file);
        return qel::format::ReadCard(rec, path, store);
    }
    CQelTpjFile rec{TYPE_PROJECT};
};

TEST_F(CardReader, BodiesDecodeAsOneTextWhateverTheirLines) {
    std::mt19937 rng(5);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // Clean lines of whole groups, with now and then a line of another
    // length, a pad, a blank, a NUL (at a line's start or inside it), a
    // byte of 0x80 or more, or an empty line; some bodies long enough to
    // fill several runs.
    const std::string digits76 = alphabet + alphabet.substr(0, 12);
    const std::vector<std::vector<std::string>> fixed = {
        // A NUL where the body starts ends it; one after a line end does not.
        {std::string(1, '\0') + digits76.substr(1), digits76, digits76},
        {digits76, std::string(1, '\0') + digits76.substr(1), digits76},
        {digits76.substr(0, 72) + "====", digits76},
    };
    for (std::size_t round = 0; round < 40 + fixed.size(); ++round) {
        std::vector<std::string> lines;
        if (round >= 40) {
            lines = fixed[round - 40];
            MemoryStore store;
            ASSERT_TRUE(Read(Card({Joined(lines)}), store));
            ASSERT_EQ(store.committed.size(), 1u);
            ASSERT_TRUE(store.committed[0].bytes == AsOneText(lines)) << "fixed case " << round - 40;
            continue;
        }
        const std::size_t count = round % 8 == 7 ? 40000 + rng() % 2000 : rng() % 60;
        const unsigned long dirtEvery = round % 5 == 0 ? 0 : 1 + rng() % 3000;
        for (std::size_t i = 0; i < count; ++i) {
            std::string line;
            const std::size_t len = 4 * (1 + rng() % 19);
            for (std::size_t k = 0; k < len; ++k) line += alphabet[rng() % 64];
            if (dirtEvery && rng() % dirtEvery == 0) {
                static const char kDirt[] = {'=', ' ', '\0', '\x81', '*'};
                switch (rng() % 4) {
                    case 0: line.insert(rng() % (line.size() + 1), 1, kDirt[rng() % sizeof kDirt]); break;
                    case 1: line.pop_back(); break;
                    case 2: line = std::string(1, '\0') + line; break;
                    default: line.clear(); break;
                }
            }
            lines.push_back(line);
        }
        MemoryStore store;
        ASSERT_TRUE(Read(Card({Joined(lines)}), store));
        ASSERT_EQ(store.committed.size(), 1u);
        ASSERT_TRUE(store.committed[0].bytes == AsOneText(lines)) << "round " << round;
        EXPECT_EQ(store.committed[0].name, u"i1.gif");
    }
}

TEST_F(CardReader, ALargeAttachmentReachesTheStoreInLargeBlocks) {
    std::string image(57 * 110376, '\0');  // whole lines: no pad, one partial block at the end
    std::mt19937 rng(9);
    for (char& c : image) c = static_cast<char>(rng());
    MemoryStore store;
    ASSERT_TRUE(Read(Card({Encoded(image) + "\r\n"}), store));
    ASSERT_EQ(store.committed.size(), 1u);
    EXPECT_TRUE(store.committed[0].bytes == image);
    const auto& writes = store.committed[0].writes;
    ASSERT_GE(writes.size(), 2u);
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_GE(writes[i], std::size_t{1} << 20) << "write " << i;
    ASSERT_EQ(rec.m_arrImages.GetSize(), 1);
    EXPECT_EQ(rec.m_arrImages[0].m_strPath, u"/mem/1");
}

TEST_F(CardReader, TheStoreSeesOnlyTakenPartsAndAFailureTakesAllBack) {
    const std::string small = Encoded("GIF89a small") + "\r\n";
    {
        // The last part has no delimiter after it: it is dropped.
        MemoryStore store;
        ASSERT_TRUE(
            Read(Card({small, small + "--b\r\n" + "Content-Transfer-Encoding: base64\r\n\r\n" + small}, false), store));
        EXPECT_EQ(store.committed.size(), 2u);
        EXPECT_FALSE(store.open);
    }
    {
        // The store refuses the second part's bytes: the load fails, the
        // first part is taken back, and the record lists no image.
        MemoryStore store;
        std::string big(3 << 20, 'x');
        store.failAfter = big.size() - 1;
        EXPECT_FALSE(Read(Card({small, Encoded(big) + "\r\n"}), store));
        EXPECT_EQ(store.committed.size(), 1u);
        EXPECT_EQ(store.removed, 1u);
        EXPECT_FALSE(store.open);
        EXPECT_EQ(rec.m_arrImages.GetSize(), 0);
    }
}

}  // namespace
