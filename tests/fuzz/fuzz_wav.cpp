// Fuzz target for the WAV reader: parses the input and reads back the samples it reports.
#include "output/WavFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vistamaze::WavReadAt readAt = [data, size](std::uint64_t offset, std::uint8_t* out, std::size_t n) {
        if (offset > size || n > size - offset) {
            return false;
        }
        if (n != 0) {  // an empty read may come with null pointers, which memcpy must not get
            std::memcpy(out, data + offset, n);
        }
        return true;
    };
    try {
        const vistamaze::WavLayout layout = vistamaze::ParseWav(readAt, size);
        if (layout.dataOffset + layout.dataSize > size || layout.dataSize % layout.format.blockAlign != 0) {
            __builtin_trap();
        }
        std::vector<std::uint8_t> last(layout.format.blockAlign);
        if (!readAt(layout.dataOffset + layout.dataSize - last.size(), last.data(), last.size())) {
            __builtin_trap();
        }
    } catch (const vistamaze::Error&) {
    }
    return 0;
}
