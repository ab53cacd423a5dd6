// What the reader's tests share: a fixture that loads bytes as a card file,
// cards built by hand, the reference decoding of a Base64 body, and a store
// that keeps attachments in memory and records every call.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "format/attachment_store.h"
#include "format/base64.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "framework/exceptions.h"
#include "framework/strings.h"
#include "host/report.h"
#include "model/tpjfile.h"
#include "format/tpj_reader.h"
#include "tests/support/test_support.h"

namespace qel::test::reader {

namespace fs = std::filesystem;

inline std::u16string W(const fs::path& p) { return qel::framework::PathFromNative(p.string()); }
inline fs::path P(const std::u16string& p) { return fs::path(qel::framework::PathToNative(p)); }

inline std::string Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

inline std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// The files under `dir`, by their paths relative to it.
inline std::multiset<std::string> Files(const fs::path& dir) {
    std::multiset<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files.insert(e.path().lexically_relative(dir).string());
    return files;
}

// The HTML a reader gives back for what was written: its lines with CR LF
// ends (the writer writes a LF alone as CR LF).
inline std::u16string HtmlAsRead(const std::u16string& html) {
    std::u16string out;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == u'\n' && (i == 0 || html[i - 1] != u'\r')) out += u'\r';
        out += html[i];
    }
    return out;
}

// The reference decoding of a Base64 body: the whole body, every line ended
// by CR LF, decoded in one call.
inline std::string DecodeWhole(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    std::size_t count = 0;
    const std::unique_ptr<unsigned char[]> bytes = qel::format::DecodeBase64Bytes(text.data(), text.size(), count);
    return std::string(reinterpret_cast<const char*>(bytes.get()), count);
}

// `count` random lines of a Base64 body in one of four styles: 76 digits
// with a padded last group (0), whole groups of any number (1), any number
// of digits with now and then a character outside the alphabet (2, 3).
inline std::vector<std::string> RandomBodyLines(std::mt19937& rng, std::size_t count, int style) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string noise = std::string("= \t\x81\xFF-*\r\0", 9) + std::string(1, '\0');
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t len = style == 0 ? 76 : style == 1 ? 4 * (rng() % 40) : rng() % 100;
        std::string l;
        for (std::size_t k = 0; k < len; ++k)
            l += (style >= 2 && rng() % 50 == 0) ? noise[rng() % noise.size()] : alphabet[rng() % 64];
        if (style == 0 && i + 1 == count) l.resize(70), l += "AAA=";
        lines.push_back(l);
    }
    return lines;
}

class TpjReader : public qel::test::TempDirTest {
protected:
    // Loads `bytes` written to a file outside the temporary folder into rec.
    bool Load(const std::string& bytes) {
        fs::create_directories(dir() / "in");
        qel::test::WriteFileBytes(dir() / "in" / "file.trc", bytes);
        return qel::format::LoadFile(rec, W(dir() / "in" / "file.trc"));
    }
    // A detail file of `headers` (CR LF after each) and a MIME body with these parts.
    static std::string Detail(const std::string& headers, const std::vector<std::string>& parts, bool closed = true) {
        std::string s = "ToruCa\r\n" + headers +
                        "\r\nMIME-Version: 1.0\r\n"
                        "Content-Type: multipart/mixed;boundary=\"B\"\r\n\r\n";
        for (const auto& p : parts) s += "--B\r\n" + p;
        if (closed) s += "--B--\r\n";
        return s;
    }
    static std::string Attachment(const std::string& headerLines, const std::string& body) {
        return headerLines + "Content-Transfer-Encoding: base64\r\n\r\n" + body + "\r\n";
    }

    CQelTpjFile rec{TYPE_PROJECT};
};

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

inline std::string Card(const std::vector<std::string>& bodies, bool closed = true) {
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
inline std::string AsOneText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    std::string out(text.size() + 1, '\0');
    std::size_t n = text.size();
    EXPECT_TRUE(DecodeBase64(text.data(), text.size(), reinterpret_cast<unsigned char*>(out.data()), &n));
    out.resize(n);
    return out;
}

inline std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    return s;
}

inline std::string Encoded(const std::string& bytes) {
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

}  // namespace qel::test::reader
