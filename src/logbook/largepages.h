#pragma once

#include <cstddef>
#include <memory>

// Memory for large arrays (the file's bytes, the row records, sort keys) in
// 2 MiB pages where the system offers them: the first touch of a fresh 4 KiB
// page costs microseconds, and a 1,000,000-flight log touches tens of
// thousands of them. Small requests and other systems use the ordinary heap.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* memory, std::size_t bytes) noexcept;

// A byte buffer from allocateLarge, released with the last owner.
std::shared_ptr<char> allocateLargeBuffer(std::size_t bytes);

template <class T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t count) { return static_cast<T*>(allocateLarge(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t count) noexcept { freeLarge(memory, count * sizeof(T)); }
    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};
