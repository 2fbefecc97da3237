// Fuzz target of the count check that runs before Assimp: the first byte picks the format, the
// rest is the file. Any input passes or gives vistamaze::Error.
#include "engine/Errors.h"
#include "formats/ModelPrescan.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

constexpr const char* kExtensions[] = {"ply", "off", "md5mesh", "md5anim", "stl"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    try {
        vistamaze::CheckModelCounts({data + 1, size - 1}, kExtensions[data[0] % std::size(kExtensions)]);
    } catch (const vistamaze::Error&) {
    }
    return 0;
}
