// Code page 932 conversion of mostly-ASCII text: our converter against glibc
// iconv converting the same text in one call.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>

#include "framework/codepage.h"

namespace {

std::u16string MostlyAscii(std::size_t bytes) {
    std::u16string line = u"Content-Type: image/gif;name=\"logo.gif\";\r\nR0lGODlhEAAQAPcAAAAAAP///wAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\r\n";
    line += u"<p>ようこそ、トルカの店へ。</p>\r\n";
    std::u16string text;
    while (text.size() < bytes) text += line;
    return text;
}

void BM_WideToCp932(benchmark::State& state) {
    const std::u16string text = MostlyAscii(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::string out = qel::WideToCp932(text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()) * 2);
}
BENCHMARK(BM_WideToCp932)->Arg(1 << 20)->Arg(16 << 20);

void BM_IconvOneCall(benchmark::State& state) {
    const std::u16string text = MostlyAscii(static_cast<std::size_t>(state.range(0)));
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
BENCHMARK(BM_IconvOneCall)->Arg(1 << 20)->Arg(16 << 20);

}  // namespace

BENCHMARK_MAIN();
