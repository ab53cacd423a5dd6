// preview --page on what a careless or hostile author puts in a card:
// images too large to decode and pages that drive the layout engine for
// minutes. Each ends with a picture, or one line and status 1, never by a
// signal, and leaves nothing behind.
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/apps/toruca/toruca_run.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qel::test::Picture;
using qel::test::ReadPicture;
using qel::test::RunToruca;
using qel::test::TorucaRun;
using qel::test::TorucaStart;

namespace {

void PutChunk(std::string& png, const char* type, const std::string& data) {
    const auto put32 = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((v >> shift) & 0xFF);
    };
    put32(static_cast<std::uint32_t>(data.size()));
    const std::string body = type + data;
    png += body;
    put32(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// A black PNG of `width` x `height` pixels, one bit each: a file of a few
// kilobytes whose pixels fill gigabytes once decoded.
std::string BlackPng(std::uint32_t width, std::uint32_t height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    for (const std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>((v >> shift) & 0xFF);
    header += std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit grey, no interlace
    PutChunk(png, "IHDR", header);

    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    const std::vector<unsigned char> row(1 + (width + 7) / 8, 0);  // filter byte 0, black pixels
    std::string idat;
    std::vector<unsigned char> out(1 << 16);
    for (std::uint32_t y = 0; y <= height; ++y) {
        z.next_in = const_cast<unsigned char*>(row.data());
        z.avail_in = y < height ? static_cast<uInt>(row.size()) : 0;
        const int flush = y < height ? Z_NO_FLUSH : Z_FINISH;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    PutChunk(png, "IDAT", idat);
    PutChunk(png, "IEND", "");
    return png;
}

class PreviewPageTest : public qel::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directory(path("tmp"));
    }

    TorucaRun Run(const std::vector<std::string>& args) const {
        TorucaStart start;
        start.environment.emplace_back("TMPDIR", path("tmp").string());
        return RunToruca(dir(), args, start);
    }

    // A card `name`.trc made by toruca make from a page of `body`, with the
    // files of the test's folder beside it.
    void Card(const std::string& name, const std::string& body) const {
        qel::test::WriteFileBytes(path(name + ".html"),
                                  "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                  "charset=UTF-8\"></head><body>" +
                                      body + "</body></html>");
        const TorucaRun made = Run({"make", path(name + ".html").string(), "-o", name + ".trc"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }

    // A detail card `name`.trc whose page is `page` as is: a page that the
    // import refuses, as another tool may still write it.
    void RawCard(const std::string& name, const std::string& page) const {
        const std::string marker = "<html><body>MARKER</body></html>";
        qel::test::WriteFileBytes(path("marker.html"), marker);
        const TorucaRun made = Run({"make", path("marker.html").string(), "-o", "-"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const std::size_t at = made.out.find(marker);
        ASSERT_NE(at, std::string::npos) << made.out;
        qel::test::WriteFileBytes(path(name + ".trc"),
                                  made.out.substr(0, at) + page + made.out.substr(at + marker.size()));
    }

    void ExpectNothingLeft() const {
        for (const auto& entry : fs::recursive_directory_iterator(path("tmp"))) ADD_FAILURE() << entry.path();
    }
};

// An image is decoded no larger than the screen shows it, and one over the
// budget of 4096 x 4096 pixels not at all: a frame stands in its place.
TEST_F(PreviewPageTest, LargeImagesAreDecodedSmallOrFramed) {
    struct Case {
        std::uint32_t width, height;
        bool decoded;
    };
    const std::vector<Case> cases{
        {40000, 1, true},       // cairo refuses a surface this wide
        {4096, 4096, true},     // the budget itself
        {4097, 4096, false},    //
        {8000, 8000, false},    // 690 MB to decode
        {30000, 30000, false},  // 3.6 GB
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height);
        SCOPED_TRACE(name);
        qel::test::WriteFileBytes(path(name + ".png"), BlackPng(c.width, c.height));
        Card(name, "<img src=\"" + name + ".png\" width=\"200\" height=\"100\">");
        const TorucaRun run = Run({"preview", "--page", name + ".trc", "-o", name + "-page.png"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const Picture picture = ReadPicture(path(name + "-page.png"));
        EXPECT_EQ(picture.width, 240);
        // Decoded, the image is a black box of 200 x 100; refused, a frame.
        if (c.decoded) {
            EXPECT_GE(picture.ink, 200 * 100);
        } else {
            EXPECT_GT(picture.ink, 2 * (200 + 100) - 4);
            EXPECT_LT(picture.ink, 200 * 100 / 4);
        }
        ExpectNothingLeft();
    }
}

// Pages that ran a layout engine in process for minutes, to gigabytes or
// into an assertion, repeated to 200 KB: each ends within its bounds, with
// a picture or with one line and status 1.
TEST_F(PreviewPageTest, HostilePagesEndWithinTheirBounds) {
    const std::vector<std::pair<std::string, std::string>> pieces{
        {"svg-style", "<svg><style>"},
        {"comment", "<!--><div>"},
        {"misnested", "<a><div></a>"},
    };
    for (const auto& [name, piece] : pieces) {
        SCOPED_TRACE(name);
        std::string page = "<html><body>";
        while (page.size() < 200000) page += piece;
        RawCard(name, page);
        const TorucaRun run = Run({"preview", "--page", name + ".trc", "-o", name + ".png"});
        if (run.exitCode == 0) {
            EXPECT_EQ(ReadPicture(path(name + ".png")).width, 240);
        } else {
            EXPECT_EQ(run.exitCode, 1) << run.err;
            ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
            EXPECT_EQ(run.err.rfind("toruca: " + name + ".trc: ", 0), 0u) << run.err;
            EXPECT_FALSE(fs::exists(path(name + ".png")));
        }
        ExpectNothingLeft();
    }
}

}  // namespace
