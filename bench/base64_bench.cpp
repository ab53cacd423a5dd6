// The Base64 codec on 64 MiB against coreutils base64 on the same data in
// the same run: `base64 -w 76 FILE` for encoding, `base64 -d -i FILE` (the
// lines carry CR, which -i skips) for decoding. The coreutils commands run
// as child processes on a file in /tmp with their output to /dev/null; all
// figures are wall-clock time, throughput in bytes of binary data.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "format/base64.h"

namespace {

constexpr std::size_t kBytes = std::size_t{64} << 20;

const std::vector<unsigned char>& Data() {
    static const std::vector<unsigned char> data = [] {
        std::vector<unsigned char> d(kBytes);
        std::mt19937_64 rng(42);
        for (std::size_t i = 0; i + 8 <= d.size(); i += 8) {
            const std::uint64_t v = rng();
            for (int k = 0; k < 8; ++k) d[i + static_cast<std::size_t>(k)] = static_cast<unsigned char>(v >> (8 * k));
        }
        return d;
    }();
    return data;
}

const std::string& Encoded() {
    static const std::string text = [] {
        std::string t(Base64RequiredLength(kBytes, 0), '\0');
        std::size_t n = t.size();
        EncodeBase64(Data().data(), kBytes, t.data(), &n, 0);
        t.resize(n);
        return t;
    }();
    return text;
}

std::string TempFile(const char* name, const void* bytes, std::size_t size) {
    const std::string path = std::string("/tmp/qel_bench_") + std::to_string(::getpid()) + "_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes, 1, size, f) != size || std::fclose(f) != 0) std::abort();
    return path;
}

using qel::bench::Run;

void BM_EncodeBase64(benchmark::State& state) {
    const auto& data = Data();
    std::string out(Base64RequiredLength(kBytes, 0), '\0');
    for (auto _ : state) {
        std::size_t n = out.size();
        EncodeBase64(data.data(), kBytes, out.data(), &n, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_EncodeBase64)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CoreutilsEncode(benchmark::State& state) {
    const std::string file = TempFile("data.bin", Data().data(), kBytes);
    for (auto _ : state)
        if (!Run({"base64", "-w", "76", file})) state.SkipWithError("base64 failed");
    std::remove(file.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_CoreutilsEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeBase64(benchmark::State& state) {
    const std::string& text = Encoded();
    std::vector<unsigned char> out(kBytes);
    for (auto _ : state) {
        std::size_t n = out.size();
        if (!DecodeBase64(text.data(), text.size(), out.data(), &n)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_DecodeBase64)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reader's decoder: lines of the encoder's layout (CR LF) taken in
// blocks of about 256 KiB, as the reader reads them, into a chunk of 2 MiB.
// Arguments: the code path (0 scalar, 1 SSSE3, 2 AVX2, 3 AVX-512), and
// where the blocks come from: 0 the whole text in turn (from memory), 1
// always its first block (from the cache, as a block the reader has just
// read is).
void BM_DecodeBase64Lines(benchmark::State& state) {
    const auto path = static_cast<qel::format::Base64Path>(state.range(0));
    if (!qel::format::Base64PathAvailable(path)) {
        state.SkipWithError("path not available here");
        return;
    }
    const std::string& text = Encoded();
    constexpr std::size_t kBlock = 78 * 3360;
    std::vector<unsigned char> chunk(std::size_t{2} << 20);
    for (auto _ : state) {
        std::size_t decoded = 0, held = 0;
        for (std::size_t pos = 0; pos < text.size();) {
            if (chunk.size() - held < kBlock) held = 0;
            std::size_t used = 0;
            const std::size_t n = qel::format::DecodeBase64LinesOn(path, text.data() + (state.range(1) ? 0 : pos),
                                                                   std::min(kBlock, text.size() - pos),
                                                                   chunk.data() + held, chunk.size() - held, &used);
            if (used == 0) break;
            decoded += n;
            held += n;
            pos += used;
        }
        if (decoded != kBytes / 57 * 57) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(chunk.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_DecodeBase64Lines)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CoreutilsDecode(benchmark::State& state) {
    const std::string file = TempFile("text.b64", Encoded().data(), Encoded().size());
    for (auto _ : state)
        if (!Run({"base64", "-d", "-i", file})) state.SkipWithError("base64 -d failed");
    std::remove(file.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_CoreutilsDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
