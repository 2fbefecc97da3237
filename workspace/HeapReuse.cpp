#include "workspace/HeapReuse.h"

#include <cstdlib>  // defines __GLIBC__ with the C library's own headers

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vistamaze {

void KeepFreedPictureBlocks() noexcept {
#if defined(__GLIBC__)
    // glibc maps blocks above the threshold on their own and unmaps them when freed, and trims the
    // heap when more than the trim threshold lies free at its top. Its defaults adapt the first
    // to the blocks freed, but keep the second at twice that, so that a frame's worth of freed
    // pictures is trimmed and faulted in again at every step.
    constexpr int kMapAbove = 32 << 20;    // larger blocks: a 6000 x 4000 picture and its like
    constexpr int kTrimAbove = 128 << 20;  // what may stay free at the heap's top
    mallopt(M_MMAP_THRESHOLD, kMapAbove);
    mallopt(M_TRIM_THRESHOLD, kTrimAbove);
#endif
}

}  // namespace vistamaze
