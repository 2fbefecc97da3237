// Fuzz target for DecodePcx: any input must decode or throw vistamaze::Error.
#include "engine/Errors.h"
#include "formats/PcxReader.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const vistamaze::PixelBuffer picture =
            vistamaze::DecodePcx(std::span<const std::uint8_t>(data, size));
        // Touch the first and last rows so that a wrong size shows up under the sanitizers.
        volatile std::uint8_t sink = picture.Row(0)[0];
        sink = picture.Row(picture.Height() - 1)[picture.Stride() - 1];
        (void)sink;
    } catch (const vistamaze::Error&) {
    }
    return 0;
}
