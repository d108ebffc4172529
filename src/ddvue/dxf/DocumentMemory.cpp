// The memory the reader fills: large pages, and page faults taken on
// another core ahead of the writing (DocumentParts.h).
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/DocumentParts.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include <sys/mman.h>

namespace ddvue::dxf {

using namespace detail;

void detail::preferLargePages(const void* data, std::size_t size)
{
#ifdef __linux__
    // Millions of 4 KB page faults cost a large drawing more time than
    // reading it does; 2 MB pages take a few hundred.
    constexpr std::uintptr_t page = 4096;
    auto first = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(page - 1);
    if (size >= (4u << 20) && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

detail::FaultAhead::FaultAhead(const void* data, std::size_t bytes, Use use) : use_(use)
{
#ifdef __linux__
    // Worth a thread only for an array of many large pages.
    if (bytes < 8 * kStep) return;
    constexpr std::uintptr_t page = 4096;
    auto first = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (last <= first) return;
    begin_ = reinterpret_cast<char*>(first);
    bytes_ = last - first;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: the writer takes its own faults, as without this.
    }
#else
    (void)data;
    (void)bytes;
#endif
}

detail::FaultAhead::~FaultAhead()
{
    if (!thread_.joinable()) return;
    stop_.store(true);
    filled_.fetch_add(1);
    filled_.notify_one();
    thread_.join();
}

void detail::FaultAhead::run()
{
#ifdef __linux__
#ifndef MADV_POPULATE_READ
    constexpr int MADV_POPULATE_READ = 22;  // Linux 5.14
#endif
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    const int advice = use_ == Use::Read ? MADV_POPULATE_READ : MADV_POPULATE_WRITE;
    // A few steps ahead of the writer: far enough that it seldom meets a
    // fresh page, near enough that little is made present in vain when the
    // array ends short of its room. A file is read whole.
    const std::size_t ahead = use_ == Use::Read ? bytes_ : 4 * kStep;
    constexpr std::uintptr_t page = 4096;
    std::size_t done = 0;
    for (;;) {
        const std::size_t f = filled_.load();
        if (stop_.load()) return;
        const std::size_t target = f >= bytes_ - std::min(bytes_, ahead) ? bytes_ : ((f + ahead) & ~(page - 1));
        if (done < target) {
            // Up to the next large page boundary, so that each call makes one large page present.
            auto at = reinterpret_cast<std::uintptr_t>(begin_ + done);
            std::size_t n = std::min(target - done, static_cast<std::size_t>(((at + kStep) & ~(kStep - 1)) - at));
            if (::madvise(begin_ + done, n, advice) != 0) return;  // an older system: leave it to the writer
            done += n;
            continue;
        }
        filled_.wait(f);
    }
#endif
}

std::string fileBuffer(std::size_t size)
{
    std::string buffer;
    buffer.reserve(size);
    preferLargePages(buffer.data(), size);
    buffer.resize(size);
    return buffer;
}

}  // namespace ddvue::dxf
