#include "apps/toruca/page_child.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "host/boundedchild.h"

namespace qel::apps {

namespace {

// What the child writes after the picture's bytes: its answer.
struct Trailer {
    char magic[4] = {'Q', 'P', 'G', '1'};
    std::int32_t drawn = 0;
    std::int32_t laidOut = 0;
};

struct Job {
    const PreviewPage* page;
    DrawPageFn draw;
};

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The picture's bytes go to the parent as cairo makes them; a parent that
// is gone ends the child.
void SendPng(void* closure, const unsigned char* bytes, unsigned length) {
    if (!WriteAll(*static_cast<int*>(closure), bytes, length)) ::_exit(1);
}

// The child's work. toruca has no other thread when it forks, so the
// drawing may allocate and take locks as anywhere.
int DrawInChild(void* context, int fd) {
    const auto* job = static_cast<const Job*>(context);
    Trailer trailer;
    int laidOut = 0;
    trailer.drawn = static_cast<std::int32_t>(job->draw(*job->page, SendPng, &fd, laidOut));
    trailer.laidOut = laidOut;
    return WriteAll(fd, &trailer, sizeof trailer) ? 0 : 1;
}

qel::host::BoundedLimits LimitsFor(const PreviewPage& page, std::uint64_t cardBytes) {
    const std::uint64_t units = cardBytes / 100000 + 1;
    qel::host::BoundedLimits limits;
    limits.addressSpace = static_cast<std::size_t>(kPageMemoryMiB << 20);
    limits.deadline = std::chrono::milliseconds(static_cast<std::int64_t>(units) * kPageSecondsPer100KB * 1000);
    limits.cpu = limits.deadline;
    // The picture as PNG is never much larger than its pixels.
    limits.outputCap = static_cast<std::size_t>(page.width) * kMaxPageHeight * 4 + (std::size_t{1} << 20);
    limits.quiet = true;
    return limits;
}

std::string FailureOf(const qel::host::BoundedOutcome& outcome, const qel::host::BoundedLimits& limits) {
    using qel::host::BoundedEnd;
    const std::string seconds = std::to_string(limits.deadline.count() / 1000) + " s";
    switch (outcome.end) {
        case BoundedEnd::Deadline: return "the page took longer than " + seconds + " to draw";
        case BoundedEnd::CpuLimit: return "the page took more than " + seconds + " of processor time to draw";
        case BoundedEnd::NoMemory:
        case BoundedEnd::OutputCap: return "the page's picture is larger than toruca takes";
        default:
            return "the page cannot be drawn within " + std::to_string(kPageMemoryMiB) +
                   " MiB: the drawing ended with " + qel::host::DescribeBoundedEnd(outcome, limits);
    }
}

}  // namespace

BoundedPage DrawPageBounded(const PreviewPage& page, DrawPageFn draw, std::uint64_t cardBytes) {
    BoundedPage answer;
    const qel::host::BoundedLimits limits = LimitsFor(page, cardBytes);
    qel::host::BoundedChild child(limits);
    qel::host::BoundedOutput output;
    Job job{&page, draw};
    const qel::host::BoundedOutcome outcome = child.Run(&DrawInChild, &job, output);
    const std::string_view bytes = output.View();
    Trailer trailer;
    if (!outcome.Ok() || bytes.size() < sizeof trailer ||
        std::memcmp(bytes.data() + bytes.size() - sizeof trailer, trailer.magic, sizeof trailer.magic) != 0) {
        answer.failure = outcome.Ok() ? "the drawing gave no picture" : FailureOf(outcome, limits);
        return answer;
    }
    std::memcpy(&trailer, bytes.data() + bytes.size() - sizeof trailer, sizeof trailer);
    if (trailer.drawn == static_cast<std::int32_t>(PageDrawn::ok) ||
        trailer.drawn == static_cast<std::int32_t>(PageDrawn::tablesTooDeep))
        answer.drawn = static_cast<PageDrawn>(trailer.drawn);
    answer.laidOut = trailer.laidOut;
    answer.png.assign(bytes.data(), bytes.size() - sizeof trailer);
    return answer;
}

}  // namespace qel::apps
