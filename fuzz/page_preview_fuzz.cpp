// The page preview's drawing, as its child process runs it, on arbitrary
// bytes: the page up to the first NUL byte, and after it the bytes of the
// card's one image "cid:img" (the hostile sizes are among the seeds). The
// page passes the pre-scan the program applies first, and only its first
// 16 KB are drawn: in process, without the child's deadline, a page that
// takes the layout engine minutes would be a timeout of the fuzzer's,
// though the program ends it within its bounds.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "host/html/htmldepth.h"
#include "preview/preview_draw.h"

namespace {

constexpr std::size_t kMaxPage = 16 * 1024;

void Discard(void*, const unsigned char*, unsigned) {}

// The image's bytes in a file of memory, named by its path in /proc.
std::string ImageFile(const std::string& bytes) {
    static const int fd = ::memfd_create("fuzz_page_image", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return {};
    if (!bytes.empty() && ::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) return {};
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    qel::apps::PreviewPage page;
    page.html = input.substr(0, std::min(nul, kMaxPage));
    if (nul != std::string::npos) page.images.emplace("img", ImageFile(input.substr(nul + 1)));
    const qel::host::HtmlNesting nesting = qel::host::MeasureHtmlNesting(page.html, qel::apps::kMaxPageDepth);
    if (nesting.depth > qel::apps::kMaxPageDepth || !qel::host::HtmlNestingAcceptable(nesting)) return 0;
    int laidOut = 0;
    QelTorucaDrawPage(page, Discard, nullptr, laidOut);
    return 0;
}
