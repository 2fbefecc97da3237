// Picture-sized blocks freed by the program are kept for reuse: taking them again costs no new
// page faults, where the C library's defaults would hand them back and fault them in again.
#include "workspace/HeapReuse.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace vistamaze {
namespace {

[[maybe_unused]] long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

TEST(HeapReuse, PictureBlocksFreedTogetherAreTakenAgainWithoutPageFaults) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the setting is glibc's own malloc's";
#else
    KeepFreedPictureBlocks();
    // Three blocks of a 1920 x 1080 picture's size, as one step of the 3D view frees them together:
    // with glibc's defaults the heap is trimmed below them and every page faults again.
    constexpr std::size_t kBlock = std::size_t{1920} * 1080 * 4;
    constexpr std::size_t kPage = 4096;
    volatile std::uint8_t sink = 0;
    const auto round = [&sink] {
        std::vector<std::unique_ptr<std::uint8_t[]> > blocks;
        for (int i = 0; i < 3; ++i) {
            blocks.push_back(std::make_unique<std::uint8_t[]>(kBlock));
            for (std::size_t at = 0; at < kBlock; at += kPage) {
                blocks.back()[at] = static_cast<std::uint8_t>(at);
                sink = static_cast<std::uint8_t>(sink + blocks.back()[at]);
            }
        }
    };
    round();
    const long before = MinorFaults();
    for (int i = 0; i < 4; ++i) {
        round();
    }
    // Four rounds of three blocks would be some 24000 faults if the pages went back each time.
    EXPECT_LT(MinorFaults() - before, static_cast<long>(kBlock / kPage));
#endif
}

}  // namespace
}  // namespace vistamaze
