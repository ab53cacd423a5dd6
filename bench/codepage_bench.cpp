// Code page 932 conversion of mostly-ASCII text: our converter against glibc
// iconv converting the same text in one call.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

#include "framework/codepage.h"

namespace {

std::u16string MostlyAscii(std::size_t bytes) {
    std::u16string line =
        u"Content-Type: "
        u"image/gif;name=\"logo.gif\";\r\nR0lGODlhEAAQAPcAAAAAAP///"
        u"wAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\r\n";
    line += u"<p>ようこそ、トルカの店へ。</p>\r\n";
    std::u16string text;
    while (text.size() < bytes) text += line;
    return text;
}

// The text of a card file: header lines, a page in Japanese, and the Base64
// lines of its images, which make up nearly all of it.
std::u16string CardText(std::size_t bytes) {
    std::u16string page = u"ToruCa\r\nVersion: 2.1\r\nType: CARD\r\n\r\nSort-ID: ワン\r\n";
    for (int i = 0; i < 20; ++i) page += u"<p>いらっしゃいませ！本日のおすすめは季節のケーキセットです。</p>\r\n";
    const std::u16string base64 = u"R0lGODlhEAAQAPcAAAAAAP///wAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\r\n";
    std::u16string text;
    while (text.size() < bytes) {
        text += page;
        for (int i = 0; i < 800 && text.size() < bytes; ++i) text += base64;
    }
    return text;
}

// Our conversion, writing (like the iconv reference) into a buffer that
// already has its room; the first round makes it.
void ConvertOurs(benchmark::State& state, const std::u16string& text) {
    std::string out;
    for (auto _ : state) {
        out.clear();
        qel::framework::AppendWideAsCp932(out, text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()) * 2);
}

// glibc iconv converting the whole text in one call.
void ConvertIconv(benchmark::State& state, const std::u16string& text) {
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    std::string out(text.size() * 2, '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
        size_t il = text.size() * 2, ol = out.size();
        char* op = out.data();
        iconv(cd, &in, &il, &op, &ol);
        benchmark::DoNotOptimize(op);
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()) * 2);
}

std::size_t Units(const benchmark::State& state) { return static_cast<std::size_t>(state.range(0)); }

void BM_WideToCp932(benchmark::State& state) { ConvertOurs(state, MostlyAscii(Units(state))); }
void BM_WideToCp932Card(benchmark::State& state) { ConvertOurs(state, CardText(Units(state))); }
void BM_IconvOneCall(benchmark::State& state) { ConvertIconv(state, MostlyAscii(Units(state))); }
void BM_IconvOneCallCard(benchmark::State& state) { ConvertIconv(state, CardText(Units(state))); }
BENCHMARK(BM_WideToCp932)->Arg(1 << 20)->Arg(16 << 20);
BENCHMARK(BM_WideToCp932Card)->Arg(16 << 20);
BENCHMARK(BM_IconvOneCall)->Arg(1 << 20)->Arg(16 << 20);
BENCHMARK(BM_IconvOneCallCard)->Arg(16 << 20);

}  // namespace

BENCHMARK_MAIN();
