// Fuzz target for DecodeBmp: any input must decode or be refused with vistamaze::Error.
#include "engine/Errors.h"
#include "formats/BmpReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        (void)vistamaze::DecodeBmp({data, size});
    } catch (const vistamaze::Error&) {
    }
    return 0;
}
