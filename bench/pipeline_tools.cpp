// The reference processes of bench/run_pipeline_bench.sh, each a whole
// process as qelhost is:
//   pipeline_tools limit SRC SIZE DST
//       the physical limit of a job: reads SRC to its end, writes SIZE bytes
//       to the new file DST in 4 MiB blocks and flushes it to the disk
//   pipeline_tools limit-nosync SRC SIZE DST
//       the same without the flush (the load's attachments are not flushed)
//   pipeline_tools gmime-write PAGE IMAGE DST     (with GMime 3)
//       a multipart/mixed message of the page (8bit) and the image (Base64)
//       built and written to DST by GMime, flushed to the disk
//   pipeline_tools gmime-read SRC DST             (with GMime 3)
//       SRC parsed by GMime, its last part decoded into DST, flushed
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#ifdef QEL_HAVE_GMIME
#include <gmime/gmime.h>
#endif

namespace {

constexpr std::size_t kBlock = std::size_t{4} << 20;

[[noreturn]] void Die(const char* what) {
    std::perror(what);
    std::exit(1);
}

int Limit(const char* src, unsigned long long size, const char* dst, bool sync) {
    const std::unique_ptr<char[]> block(new char[kBlock]);
    const int in = ::open(src, O_RDONLY | O_CLOEXEC);
    if (in < 0) Die(src);
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    for (;;) {
        const ssize_t n = ::read(in, block.get(), kBlock);
        if (n < 0) Die("read");
        if (n == 0) break;
    }
    ::close(in);
    const int out = ::open(dst, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) Die(dst);
    std::memset(block.get(), 'A', kBlock);
    for (unsigned long long left = size; left > 0;) {
        const std::size_t take = left < kBlock ? static_cast<std::size_t>(left) : kBlock;
        const ssize_t n = ::write(out, block.get(), take);
        if (n <= 0) Die("write");
        left -= static_cast<unsigned long long>(n);
    }
    if ((sync && ::fsync(out) != 0) || ::close(out) != 0) Die("fsync");
    return 0;
}

#ifdef QEL_HAVE_GMIME
void FlushFile(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) Die(path);
    ::close(fd);
}

int GMimeWrite(const char* page, const char* image, const char* dst) {
    g_mime_init();
    GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");

    GMimePart* html = g_mime_part_new_with_type("text", "html");
    GMimeStream* pageStream = g_mime_stream_fs_open(page, O_RDONLY, 0, nullptr);
    if (!pageStream) Die(page);
    GMimeDataWrapper* pageData = g_mime_data_wrapper_new_with_stream(pageStream, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(html, pageData);
    g_mime_part_set_content_encoding(html, GMIME_CONTENT_ENCODING_8BIT);
    g_mime_multipart_add(mixed, GMIME_OBJECT(html));

    GMimePart* img = g_mime_part_new_with_type("image", "gif");
    GMimeStream* imageStream = g_mime_stream_fs_open(image, O_RDONLY, 0, nullptr);
    if (!imageStream) Die(image);
    GMimeDataWrapper* imageData = g_mime_data_wrapper_new_with_stream(imageStream, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(img, imageData);
    g_mime_part_set_content_encoding(img, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_part_set_content_id(img, "image1");
    g_mime_multipart_add(mixed, GMIME_OBJECT(img));

    GMimeStream* out = g_mime_stream_fs_open(dst, O_WRONLY | O_CREAT | O_EXCL, 0644, nullptr);
    if (!out) Die(dst);
    GMimeStream* buffered = g_mime_stream_buffer_new(out, GMIME_STREAM_BUFFER_BLOCK_WRITE);
    if (g_mime_object_write_to_stream(GMIME_OBJECT(mixed), nullptr, buffered) < 0) Die("write");
    g_mime_stream_flush(buffered);
    g_object_unref(buffered);
    g_object_unref(out);
    FlushFile(dst);
    return 0;
}

int GMimeRead(const char* src, const char* dst) {
    g_mime_init();
    GMimeStream* in = g_mime_stream_fs_open(src, O_RDONLY, 0, nullptr);
    if (!in) Die(src);
    GMimeParser* parser = g_mime_parser_new_with_stream(in);
    GMimeObject* root = g_mime_parser_construct_part(parser, nullptr);
    if (!root || !GMIME_IS_MULTIPART(root)) {
        std::fprintf(stderr, "%s: no multipart body\n", src);
        return 1;
    }
    GMimeMultipart* mixed = GMIME_MULTIPART(root);
    const int count = g_mime_multipart_get_count(mixed);
    GMimeObject* last = count > 0 ? g_mime_multipart_get_part(mixed, count - 1) : nullptr;
    if (!last || !GMIME_IS_PART(last)) {
        std::fprintf(stderr, "%s: no image part\n", src);
        return 1;
    }
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(last));
    GMimeStream* out = g_mime_stream_fs_open(dst, O_WRONLY | O_CREAT | O_EXCL, 0644, nullptr);
    if (!out) Die(dst);
    if (g_mime_data_wrapper_write_to_stream(content, out) < 0) Die("write");
    g_mime_stream_flush(out);
    g_object_unref(out);
    FlushFile(dst);
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if ((command == "limit" || command == "limit-nosync") && argc == 5)
        return Limit(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4], command == "limit");
#ifdef QEL_HAVE_GMIME
    if (command == "gmime-write" && argc == 5) return GMimeWrite(argv[2], argv[3], argv[4]);
    if (command == "gmime-read" && argc == 4) return GMimeRead(argv[2], argv[3]);
#endif
    std::fprintf(
        stderr,
        "usage: pipeline_tools limit[-nosync] SRC SIZE DST | gmime-write PAGE IMAGE DST | gmime-read SRC DST\n");
    return 2;
}
