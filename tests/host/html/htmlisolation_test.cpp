// The HTML parse in a child process under hard limits: pages written the way
// careless or hostile authors write them parse or fail with a reason, and
// the arena that serves gumbo keeps AddressSanitizer's eyes on its memory.
#include "host/html/htmlisolation.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "framework/codepage.h"
#include "host/html/dom.h"
#include "host/html/parsearena.h"
#include "host/boundedchild.h"
#include "host/html/htmlsource.h"

namespace {

using qel::host::HtmlParseLimits;
using qel::host::ParseHtmlDocument;

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string UnclosedBold(int bold, int paragraphs) {
    std::string page;
    for (int i = 0; i < bold; ++i) page += "<b id=" + std::to_string(i) + ">";
    return page + Repeat("<p> ", paragraphs);
}

// The shapes that keep gumbo busy for minutes at 2 MB, here small enough to
// parse in a moment: each must come through the child as a whole document
// that gives its text back.
TEST(HtmlIsolationTest, HostileShapesParseThroughTheChild) {
    const std::string shapes[] = {
        Repeat("<p>a<!-->", 300),
        Repeat("<!-- x --!><p>a", 300),
        Repeat("<div =\">", 300),
        "<svg><style>" + Repeat("<b>x</b><g>", 200),
        "<svg><p>" + Repeat("<div/>", 300),
        Repeat("<a><div></a>", 200),
        UnclosedBold(100, 100),
    };
    for (const std::string& page : shapes) {
        std::u16string why;
        const std::unique_ptr<Document> doc = ParseHtmlDocument(page, &why);
        ASSERT_NE(doc, nullptr) << page.substr(0, 40) << ": " << qel::framework::WideToUtf8(why);
        EXPECT_EQ(qel::framework::WideToUtf8(doc->getHTMLText()), page) << page.substr(0, 40);
    }
}

// Each limit ends the child and is named in the reason; the host goes on.
// Run in process (as the fuzz targets parse), running out of the arena or
// of the CPU time ends the parse the same way, never the process.
TEST(HtmlIsolationTest, LimitsEndTheParseWithTheirReason) {
    using namespace std::chrono_literals;
    struct Case {
        std::string page;
        HtmlParseLimits limits;
        const char* why;
    };
    const Case cases[] = {
        // Seconds of gumbo's time at this size.
        {Repeat("<p>a<!-->", 300000), {50ms, std::size_t{512} << 20}, "the page took longer than 0.05 s to parse"},
        {Repeat("<p><img src=a.gif alt=photo>", 20000),
         {10000ms, std::size_t{1} << 20},
         "the page needs more than 1 MiB to parse"},
    };
    for (const bool inProcess : {false, true}) {
        qel::host::SetHtmlParseInProcess(inProcess);
        for (const Case& c : cases) {
            std::u16string why;
            EXPECT_EQ(ParseHtmlDocument(c.page, &why, &c.limits), nullptr);
            EXPECT_EQ(qel::framework::WideToUtf8(why), c.why) << inProcess;
        }
    }
    qel::host::SetHtmlParseInProcess(false);
}

// The child's CPU seconds and its wall deadline are the parse's time, and
// its records are held to the parse's memory by the parent's reading too;
// a deadline under a second still leaves the child a whole CPU second
// (rounded down it would be 0, and the child would die at once).
TEST(HtmlIsolationTest, TheChildsLimitsAreTheParsesOwn) {
    using namespace std::chrono_literals;
    const HtmlParseLimits limits{300ms, std::size_t{8} << 20};
    const qel::host::BoundedLimits child = qel::host::HtmlParseChildLimits(limits);
    EXPECT_EQ(child.cpu, 300ms);
    EXPECT_EQ(child.deadline, 300ms);
    EXPECT_EQ(child.outputCap, limits.memory);
    EXPECT_GE(child.addressSpace, limits.memory);
    std::u16string why;
    EXPECT_NE(ParseHtmlDocument("<p>a small page", &why, &limits), nullptr) << qel::framework::WideToUtf8(why);
}

#if defined(__SANITIZE_ADDRESS__)
#define QEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_TEST_ASAN 1
#endif
#endif

#ifndef QEL_TEST_ASAN
// The address space this process has mapped, from /proc.
std::size_t MappedNow() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (f && std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    if (f) std::fclose(f);
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A host under an address-space limit far below the parse's memory cap
// still parses a small page: the arena grows with the page. A page that
// needs more than the limit leaves is refused for that, not for the cap.
[[noreturn]] void ParseUnderAddressSpaceLimit() {
    const std::string large = Repeat("<p><img src=a.gif alt=photo>", 100000);
    const rlim_t limit = MappedNow() + (std::size_t{48} << 20);
    const rlimit as{limit, limit};
    ::setrlimit(RLIMIT_AS, &as);
    std::u16string why;
    if (!ParseHtmlDocument("<p><img src=a.gif alt=x>", &why)) {
        std::fprintf(stderr, "%s\n", qel::framework::WideToUtf8(why).c_str());
        std::_Exit(1);
    }
    if (ParseHtmlDocument(large, &why)) std::_Exit(2);
    std::fprintf(stderr, "%s\n", qel::framework::WideToUtf8(why).c_str());
    std::_Exit(why == u"the page needs more memory to parse than the address-space limit leaves" ? 0 : 3);
}

TEST(HtmlIsolationDeathTest, AHostUnderAnAddressSpaceLimitParses) {
    EXPECT_EXIT(ParseUnderAddressSpaceLimit(), testing::ExitedWithCode(0), "");
}
#endif

TEST(HtmlIsolationTest, LimitsGrowWithLargePages) {
    EXPECT_EQ(qel::host::HtmlParseLimitsFor(2'000'000).deadline, std::chrono::milliseconds(2000));
    EXPECT_EQ(qel::host::HtmlParseLimitsFor(2'000'000).memory, std::size_t{512} << 20);
    EXPECT_EQ(qel::host::HtmlParseLimitsFor(4'000'000).deadline, std::chrono::milliseconds(4000));
    EXPECT_EQ(qel::host::HtmlParseLimitsFor(8'000'000).memory, std::size_t{128} * 8'000'000);
}

#ifdef QEL_TEST_ASAN
void NeverExhausted(qel::host::ParseArena::Shortage) { std::abort(); }

TEST(ParseArenaDeathTest, UseAfterFreeAndOverflowAreReported) {
    const std::function<void(qel::host::ParseArena&)> faults[] = {
        [](qel::host::ParseArena& arena) {
            auto* p = static_cast<volatile char*>(arena.Allocate(40));
            arena.Free(const_cast<char*>(p));
            p[3] = 1;
        },
        [](qel::host::ParseArena& arena) {
            auto* p = static_cast<volatile char*>(arena.Allocate(40));
            p[40] = 1;
        },
        [](qel::host::ParseArena& arena) {
            auto* p = static_cast<volatile char*>(arena.Allocate(5000));
            arena.Free(const_cast<char*>(p));
            p[4999] = 1;
        },
    };
    for (const auto& fault : faults) {
        EXPECT_DEATH(
            {
                qel::host::ParseArena arena(std::size_t{1} << 20, &NeverExhausted);
                fault(arena);
            },
            "use-after-poison");
    }
}
#endif

}  // namespace
