// GetFileText plus the code page 932 conversion of a detail file with
// 64 MiB of images, against GMime 3 building and serialising the same
// multipart message (HTML part and one Base64 part per image, read from the
// same files) into memory, in the same run. Wall-clock time.
//
// After the benchmarks, each side runs once more in a fresh child process
// (this program started again with --peak-rss) and its peak resident set is
// printed beside the size of the text it produced.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "framework/codepage.h"
#include "format/tpj_writer.h"
#include "model/tpjfile.h"

#ifdef QEL_HAVE_GMIME
#include <gmime/gmime.h>
#endif

namespace {

constexpr int kImages = 8;
constexpr std::size_t kImageBytes = std::size_t{8} << 20;  // 8 x 8 MiB = 64 MiB

struct Image {
    std::string name, type, subtype;
    std::string signature;
};
const Image kKinds[] = {
    {"photo%d.jpg", "image", "jpeg", "\xFF\xD8\xFF\xE0"},
    {"logo%d.gif", "image", "gif", "GIF89a"},
    {"shot%d.png", "image", "png", "\x89PNG\r\n\x1A\n"},
    {"anim%d.swf", "application", "x-shockwave-flash", "CWS\x0A"},
};

std::u16string Html() {
    std::u16string html = u"<html><head><title>トルカの店</title></head><body>\r\n";
    for (int i = 0; i < 100; ++i)
        html += u"<p>Welcome to the shop. ようこそ。 <img src=\"cid:image" +
                std::u16string(1, static_cast<char16_t>(u'1' + i % kImages)) + u"\"></p>\r\n";
    return html + u"</body></html>";
}

struct Fixture {
    std::filesystem::path dir;
    std::vector<std::filesystem::path> files;
    std::vector<const Image*> kinds;
};

std::string NameOf(const Image& k, int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, k.name.c_str(), i + 1);
    return buf;
}

Fixture MakeFixture(const std::filesystem::path& dir, bool write) {
    Fixture f;
    f.dir = dir;
    std::mt19937_64 rng(7);
    for (int i = 0; i < kImages; ++i) {
        const Image& k = kKinds[i % 4];
        f.files.push_back(dir / NameOf(k, i));
        f.kinds.push_back(&k);
        if (!write) continue;
        std::string bytes(kImageBytes, '\0');
        for (std::size_t j = 0; j + 8 <= bytes.size(); j += 8) {
            const std::uint64_t v = rng();
            std::memcpy(&bytes[j], &v, 8);
        }
        std::memcpy(bytes.data(), k.signature.data(), k.signature.size());
        FILE* out = std::fopen(f.files.back().c_str(), "wb");
        if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0)
            std::abort();
    }
    return f;
}

std::filesystem::path g_dir;
const Fixture& TheFixture() {
    static const Fixture f = MakeFixture(g_dir, true);
    return f;
}

std::size_t RunOurs(const Fixture& f) {
    CQelTpjFile rec(TYPE_CARD);
    rec.m_strHtml = Html();
    for (int i = 0; i < kImages; ++i)
        rec.AddImage(qel::framework::PathFromNative(f.files[static_cast<std::size_t>(i)].string()),
                     u"image" + std::u16string(1, static_cast<char16_t>(u'1' + i)));
    const std::string bytes = qel::framework::WideToCp932(qel::format::GetFileText(rec));
    benchmark::DoNotOptimize(bytes.data());
    return bytes.size();
}

void BM_GetFileTextCp932(benchmark::State& state) {
    const Fixture& f = TheFixture();
    std::size_t size = 0;
    for (auto _ : state) size = RunOurs(f);
    state.counters["file_MiB"] = static_cast<double>(size) / (1 << 20);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImages * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_GetFileTextCp932)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QEL_HAVE_GMIME
std::size_t RunGMime(const Fixture& f, const std::string& html) {
    GMimeMultipart* mp = g_mime_multipart_new_with_subtype("mixed");
    g_mime_multipart_set_boundary(mp, "0000000000");

    GMimePart* hp = g_mime_part_new_with_type("text", "html");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(hp), "charset", "Shift_JIS");
    GMimeStream* hs = g_mime_stream_mem_new_with_buffer(html.data(), html.size());
    GMimeDataWrapper* hw = g_mime_data_wrapper_new_with_stream(hs, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(hp, hw);
    g_mime_part_set_content_encoding(hp, GMIME_CONTENT_ENCODING_8BIT);
    g_mime_multipart_add(mp, GMIME_OBJECT(hp));
    g_object_unref(hw);
    g_object_unref(hs);
    g_object_unref(hp);

    for (int i = 0; i < kImages; ++i) {
        const Image& k = *f.kinds[static_cast<std::size_t>(i)];
        GMimePart* ip = g_mime_part_new_with_type(k.type.c_str(), k.subtype.c_str());
        g_mime_part_set_filename(ip, NameOf(k, i).c_str());
        g_mime_part_set_content_id(ip, ("image" + std::to_string(i + 1)).c_str());
        GMimeStream* is = g_mime_stream_fs_open(f.files[static_cast<std::size_t>(i)].c_str(), O_RDONLY, 0644, nullptr);
        if (!is) std::abort();
        GMimeDataWrapper* iw = g_mime_data_wrapper_new_with_stream(is, GMIME_CONTENT_ENCODING_DEFAULT);
        g_mime_part_set_content(ip, iw);
        g_mime_part_set_content_encoding(ip, GMIME_CONTENT_ENCODING_BASE64);
        g_mime_multipart_add(mp, GMIME_OBJECT(ip));
        g_object_unref(iw);
        g_object_unref(is);
        g_object_unref(ip);
    }

    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(GMIME_OBJECT(mp), nullptr, out);
    const std::size_t size = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out))->len;
    benchmark::DoNotOptimize(size);
    g_object_unref(out);
    g_object_unref(mp);
    return size;
}

void BM_GMimeBuildAndWrite(benchmark::State& state) {
    const Fixture& f = TheFixture();
    const std::string html = qel::framework::WideToCp932(Html());
    std::size_t size = 0;
    for (auto _ : state) size = RunGMime(f, html);
    state.counters["file_MiB"] = static_cast<double>(size) / (1 << 20);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImages * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_GMimeBuildAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// Runs one side once in a fresh process; prints its peak RSS and the size
// of the text it made.
void ReportPeak(const char* self, const char* side) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::execl(self, self, "--peak-rss", side, g_dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[64] = {};
    const ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
    ::close(fds[0]);
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("peak RSS %s: child failed\n", side);
        return;
    }
    const double file = std::strtod(buf, nullptr);
    const double rss = static_cast<double>(ru.ru_maxrss) * 1024.0;
    std::printf("peak RSS %s: %.1f MiB for a text of %.1f MiB (%.2fx)\n", side, rss / (1 << 20), file / (1 << 20),
                rss / file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak-rss") == 0) {
        const Fixture f = MakeFixture(argv[3], false);
        std::size_t size = 0;
        if (std::strcmp(argv[2], "ours") == 0) size = RunOurs(f);
#ifdef QEL_HAVE_GMIME
        else {
            g_mime_init();
            size = RunGMime(f, qel::framework::WideToCp932(Html()));
        }
#endif
        std::printf("%zu\n", size);
        return 0;
    }

    g_dir = std::filesystem::temp_directory_path() / ("qel_writer_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(g_dir);
#ifdef QEL_HAVE_GMIME
    g_mime_init();
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheFixture();
    ReportPeak("/proc/self/exe", "ours");
#ifdef QEL_HAVE_GMIME
    ReportPeak("/proc/self/exe", "gmime");
#endif
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}
