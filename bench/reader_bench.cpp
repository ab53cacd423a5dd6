// LoadFile of a project file with 64 MiB of images (8 x 8 MiB, about 92 MB
// of file), all of it: reading, decoding the text, Base64, writing the image
// files. Beside it in the same run:
//   - coreutils "base64 -d -i" decoding the Base64 text of the same 64 MiB
//     (76-character lines), output to /dev/null;
//   - GMime 3 parsing the file's MIME body, decoding every image part and
//     writing it to a new file (when the build found GMime).
// Wall-clock time. The files written by an iteration are removed outside the
// timing. Afterwards LoadFile runs once more in a fresh child process (this
// program started again with --peak-rss) and its peak resident set is
// printed beside the size of the file.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "format/tpj_reader.h"
#include "format/tpj_writer.h"
#include "framework/codepage.h"
#include "model/tpjfile.h"

#ifdef QEL_HAVE_GMIME
#include <gmime/gmime.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kImages = 8;
constexpr std::size_t kImageBytes = std::size_t{8} << 20;  // 8 x 8 MiB = 64 MiB

fs::path g_dir;  // project file, reference text, output folders

std::string RandomBytes(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::string bytes(n, '\0');
    for (std::size_t j = 0; j + 8 <= n; j += 8) {
        const std::uint64_t v = rng();
        std::memcpy(&bytes[j], &v, 8);
    }
    return bytes;
}

void WriteAll(const fs::path& p, const std::string& bytes) {
    FILE* out = std::fopen(p.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) std::abort();
}

// Makes the project file and the reference Base64 text once.
void MakeFixture() {
    fs::create_directories(g_dir / "images");
    CQelTpjFile rec(TYPE_PROJECT);
    std::u16string html = u"<html><body>\r\n";
    std::string all;
    const char* sigs[] = {"\xFF\xD8\xFF\xE0", "GIF89a", "\x89PNG\r\n\x1A\n", "CWS\x0A"};
    const char* exts[] = {".jpg", ".gif", ".png", ".swf"};
    for (int i = 0; i < kImages; ++i) {
        std::string bytes = RandomBytes(kImageBytes, std::uint64_t{7} + static_cast<std::uint64_t>(i));
        std::memcpy(bytes.data(), sigs[i % 4], std::strlen(sigs[i % 4]));
        const fs::path p = g_dir / "images" / ("image" + std::to_string(i + 1) + exts[i % 4]);
        WriteAll(p, bytes);
        all += bytes;
        const std::u16string id = u"image" + qel::framework::Utf8ToWide(std::to_string(i + 1));
        rec.AddImage(qel::framework::PathFromNative(p.string()), id);
        html += u"<p>ようこそ <img src=\"cid:" + id + u"\"></p>\r\n";
    }
    rec.m_strHtml = html + u"</body></html>";
    WriteAll(g_dir / "project.tpj", qel::framework::WideToCp932(qel::format::GetFileText(rec)));
    fs::remove_all(g_dir / "images");
    // The reference text: the same bytes as one Base64 text of 76-character lines.
    const int in = ::open((g_dir / "all.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || ::write(in, all.data(), all.size()) != static_cast<ssize_t>(all.size()) || ::close(in) != 0)
        std::abort();
    const std::string cmd =
        "base64 -w 76 '" + (g_dir / "all.bin").string() + "' > '" + (g_dir / "all.b64").string() + "'";
    if (std::system(cmd.c_str()) != 0) std::abort();
    fs::remove(g_dir / "all.bin");
}

// Made by main before the benchmarks run.
fs::path Project() { return g_dir / "project.tpj"; }

// A fresh, empty output folder that is also the host's temporary folder.
fs::path FreshOut() {
    const fs::path out = g_dir / "out";
    fs::remove_all(out);
    fs::create_directories(out);
    ::setenv("QELHOST_TEMP_DIR", out.c_str(), 1);
    return out;
}

bool LoadOnce() {
    CQelTpjFile rec(TYPE_PROJECT);
    const bool ok = qel::format::LoadFile(rec, qel::framework::PathFromNative(Project().string())) &&
                    rec.m_arrImages.GetSize() == kImages;
    benchmark::DoNotOptimize(rec.m_strHtml.data());
    return ok;
}

void BM_LoadFile(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        FreshOut();
        state.ResumeTiming();
        if (!LoadOnce()) state.SkipWithError("LoadFile failed");
    }
    state.counters["file_MB"] = static_cast<double>(fs::file_size(Project())) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImages * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

using qel::bench::Run;

void BM_CoreutilsDecode(benchmark::State& state) {
    const std::string text = (g_dir / "all.b64").string();
    for (auto _ : state)
        if (!Run({"base64", "-d", "-i", text})) state.SkipWithError("base64 -d failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImages * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_CoreutilsDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_HAVE_GMIME
// GMime reads the MIME body of the same file (from its MIME-Version line on:
// the ToruCa lines before it are no RFC 822 headers), decodes every Base64
// part and writes it to a new file.
int GMimeOnce(const fs::path& out, std::int64_t bodyStart) {
    const int fd = ::open(Project().c_str(), O_RDONLY);
    GMimeStream* file = g_mime_stream_fs_new(fd);
    GMimeStream* body = g_mime_stream_substream(file, bodyStart, -1);
    GMimeParser* parser = g_mime_parser_new_with_stream(body);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    int written = 0;
    GMimeObject* top = msg ? g_mime_message_get_mime_part(msg) : nullptr;
    if (top && GMIME_IS_MULTIPART(top)) {
        GMimeMultipart* mp = GMIME_MULTIPART(top);
        for (int i = 0; i < g_mime_multipart_get_count(mp); ++i) {
            GMimeObject* part = g_mime_multipart_get_part(mp, i);
            if (!GMIME_IS_PART(part) ||
                g_mime_part_get_content_encoding(GMIME_PART(part)) != GMIME_CONTENT_ENCODING_BASE64)
                continue;
            const char* name = g_mime_part_get_filename(GMIME_PART(part));
            const fs::path target = out / (name ? name : ("part" + std::to_string(i)));
            const int ofd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
            if (ofd < 0) continue;
            GMimeStream* os = g_mime_stream_fs_new(ofd);
            g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), os);
            g_mime_stream_flush(os);
            g_object_unref(os);  // closes ofd
            ++written;
        }
    }
    if (msg) g_object_unref(msg);
    g_object_unref(parser);
    g_object_unref(body);
    g_object_unref(file);  // closes fd
    return written;
}

std::int64_t BodyStart() {
    FILE* f = std::fopen(Project().c_str(), "rb");
    char head[4096] = {};
    const std::size_t n = std::fread(head, 1, sizeof head - 1, f);
    std::fclose(f);
    const char* at = std::strstr(head, "MIME-Version:");
    if (!at || static_cast<std::size_t>(at - head) >= n) std::abort();
    return at - head;
}

void BM_GMimeParseDecodeWrite(benchmark::State& state) {
    g_mime_init();
    const std::int64_t start = BodyStart();
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path out = FreshOut();
        state.ResumeTiming();
        if (GMimeOnce(out, start) != kImages) state.SkipWithError("GMime did not write every image");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImages * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_GMimeParseDecodeWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void ReportPeak(const char* self) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(self, self, "--peak-rss", g_dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("peak RSS LoadFile: child failed\n");
        return;
    }
    const double file = static_cast<double>(fs::file_size(Project()));
    const double rss = static_cast<double>(ru.ru_maxrss) * 1024.0;
    std::printf("peak RSS LoadFile: %.1f MiB for a file of %.1f MiB (%.2fx)\n", rss / (1 << 20), file / (1 << 20),
                rss / file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak-rss") == 0) {
        g_dir = argv[2];
        FreshOut();
        return LoadOnce() ? 0 : 1;
    }
    std::string templ = (fs::temp_directory_path() / "reader_bench.XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    g_dir = templ;
    benchmark::Initialize(&argc, argv);
    MakeFixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReportPeak(argv[0]);
    fs::remove_all(g_dir);
    return 0;
}
