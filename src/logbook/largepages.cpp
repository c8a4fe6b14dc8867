#include "largepages.h"

#include <cstdint>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

#ifdef __linux__
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the ordinary heap is as good and keeps small tables small.
constexpr std::size_t kLargeThreshold = kHugePage;

constexpr std::size_t kPage = 4096;
// Whole 2 MiB stretches become huge pages; the tail stays in small pages, so
// that a 3 MiB log does not hold 4 MiB.
std::size_t roundUp(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

// A mapping aligned to 2 MiB, so that every part of it can be a huge page.
void* mapAligned(std::size_t size)
{
    const std::size_t span = size + kHugePage;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const std::size_t tail = start + span - (aligned + size);
    if (tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}
#endif

} // namespace

void* allocateLarge(std::size_t bytes)
{
#ifdef __linux__
    if (bytes >= kLargeThreshold)
        return mapAligned(roundUp(bytes));
#endif
    return ::operator new(bytes);
}

void freeLarge(void* memory, [[maybe_unused]] std::size_t bytes) noexcept
{
    if (!memory)
        return;
#ifdef __linux__
    if (bytes >= kLargeThreshold) {
        ::munmap(memory, roundUp(bytes));
        return;
    }
#endif
    ::operator delete(memory);
}

std::shared_ptr<char> allocateLargeBuffer(std::size_t bytes)
{
    return std::shared_ptr<char>(static_cast<char*>(allocateLarge(bytes)),
                                 [bytes](char* memory) { freeLarge(memory, bytes); });
}
