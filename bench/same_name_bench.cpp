// LoadFile of a project whose 10,000 image parts all carry one name
// ("same.gif"), so that every attachment after the first needs a numbered
// name (same(1).gif … same(9999).gif). Beside it in the same run, the
// reference: the same project with 10,000 different names, where every
// name is free at once. Equal times mean that finding the numbered names
// costs linear time in all; a search that started again at "(1)" for each
// part would cost some 50 million name look-ups more. A project of 1,000
// parts of one name shows how the time grows with the count, and the floor
// is 10,000 plain files made with open(O_CREAT|O_EXCL), write and close.
// Wall-clock time; the files written by an iteration are removed outside the
// timing.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/codepage.h"
#include "format/tpj_reader.h"
#include "model/tpjfile.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

// A project file of `count` GIF parts, named "same.gif" or "imageN.gif".
fs::path MakeProject(int count, bool sameName) {
    const fs::path file = g_dir / ((sameName ? "same-" : "distinct-") + std::to_string(count) + ".tpj");
    if (fs::exists(file)) return file;
    std::string text =
        "TORUCA_PROJECT_V2\r\nVersion: 2.1\r\nType: PROJECT\r\n\r\nURL: http://example.com/\r\n\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;boundary=\"B\"\r\n\r\n"
        "--B\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\n\r\n<p>x</p>\r\n";
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        text += "--B\r\nContent-Type: image/gif;name=\"" + (sameName ? std::string("same") : "image" + n) +
                ".gif\";\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <image" + n +
                ">\r\n\r\nR0lGODlhAQABAAAAACw=\r\n";
    }
    text += "--B--\r\n";
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) std::abort();
    return file;
}

void Load(benchmark::State& state, int count, bool sameName) {
    const fs::path project = MakeProject(count, sameName);
    int round = 0;
    for (auto _ : state) {
        // A folder of its own each time: a fresh one starts every name free,
        // as a first load in a new folder does.
        state.PauseTiming();
        const fs::path out = g_dir / ("out-" + std::to_string(round++));
        fs::create_directories(out);
        ::setenv("QELHOST_TEMP_DIR", out.c_str(), 1);
        CQelTpjFile record(TYPE_PROJECT);
        state.ResumeTiming();
        if (!qel::format::LoadFile(record, qel::framework::PathFromNative(project.string())) ||
            record.m_arrImages.GetSize() != count)
            state.SkipWithError("the project did not load whole");
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// The floor: the same number of files, made as plainly as the system allows.
void BM_PlainFiles10000(benchmark::State& state) {
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path out = g_dir / ("plain-" + std::to_string(round++));
        fs::create_directories(out);
        state.ResumeTiming();
        for (int i = 1; i <= 10000; ++i) {
            const std::string name = (out / ("image" + std::to_string(i) + ".gif")).string();
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, "GIF89a\1\0\1\0\0\0\0\0", 14) != 14 || ::close(fd) != 0)
                state.SkipWithError("cannot make the files");
        }
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_LoadSameName10000(benchmark::State& state) { Load(state, 10000, true); }
void BM_LoadDistinctNames10000(benchmark::State& state) { Load(state, 10000, false); }
void BM_LoadSameName1000(benchmark::State& state) { Load(state, 1000, true); }

BENCHMARK(BM_LoadSameName10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadDistinctNames10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainFiles10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadSameName1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/qel-same-name-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    g_dir = tmpl;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(g_dir, ec);
    return 0;
}
