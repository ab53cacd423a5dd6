// GetFileText of a record with one large image (64 MiB by default,
// QEL_PIPELINE_MIB to change), the wide text whole, and the card's code
// page 932 bytes as the export makes them. The same file builds against an
// older tree, so run_pipeline_bench.sh --text can compare GetFileText with
// what it was, in one run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "framework/codepage.h"
#include "model/tpjfile.h"
#if __has_include("format/tpj_writer.h")
#include "format/tpj_writer.h"
#define QEL_TEXT_OF(record) qel::format::GetFileText(record)
#else
#define QEL_TEXT_OF(record) (record).GetFileText()
#endif

namespace {

std::filesystem::path ImagePath() {
    static const std::filesystem::path path = [] {
        const char* mib = std::getenv("QEL_PIPELINE_MIB");
        const std::size_t size = (mib ? std::strtoul(mib, nullptr, 10) : 64) << 20;
        const std::filesystem::path p =
            std::filesystem::temp_directory_path() / ("qel-pipeline-" + std::to_string(size) + ".gif");
        if (std::filesystem::exists(p) && std::filesystem::file_size(p) == size) return p;
        std::string bytes(size, '\0');
        std::mt19937_64 rng(3);
        for (char& c : bytes) c = static_cast<char>(rng());
        bytes.replace(0, 6, "GIF89a");
        FILE* out = std::fopen(p.c_str(), "wb");
        if (!out || std::fwrite(bytes.data(), 1, size, out) != size || std::fclose(out) != 0) std::abort();
        return p;
    }();
    return path;
}

void BM_GetFileText(benchmark::State& state) {
    CQelTpjFile rec(TYPE_CARD);
    rec.m_strHtml = u"<html><body><img src=\"cid:image1\"></body></html>";
    rec.AddImage(qel::framework::PathFromNative(ImagePath().string()), u"image1");
    std::size_t size = 0;
    for (auto _ : state) {
        const std::u16string text = QEL_TEXT_OF(rec);
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["chars"] = static_cast<double>(size);
}
BENCHMARK(BM_GetFileText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
