#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vistamaze {

// Allocator of pixel storage. Large blocks are aligned to 2 MiB and, on Linux, offered
// transparent huge pages: a full-HD picture is then touched with a handful of page faults
// instead of about 1500, which dominates the cost of a fresh buffer on virtual machines.
template <typename T>
struct PixelStorageAllocator {
    using value_type = T;

    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static constexpr std::size_t kHugeThreshold = std::size_t{4} << 20;

    PixelStorageAllocator() noexcept = default;
    template <typename U>
    explicit PixelStorageAllocator(const PixelStorageAllocator<U>& /*other*/) noexcept {}

    [[nodiscard]] T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T) - kHugePage) {
            throw std::bad_alloc();
        }
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugeThreshold) {
            return static_cast<T*>(::operator new(bytes));
        }
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* p = std::aligned_alloc(kHugePage, rounded);
        if (p == nullptr) {
            throw std::bad_alloc();
        }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        ::madvise(p, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(p);
    }

    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) < kHugeThreshold) {
            ::operator delete(p);
        } else {
            std::free(p);  // NOLINT(cppcoreguidelines-no-malloc): pairs with aligned_alloc
        }
    }

    friend bool operator==(const PixelStorageAllocator&, const PixelStorageAllocator&) noexcept {
        return true;
    }
};

}  // namespace vistamaze
