// Fuzz target of one of our own model readers, chosen at build time by VM_FUZZ_MODEL_READERS
// (a comma-separated list of reader functions in vistamaze::models): any input gives a mesh or
// vistamaze::Error, and whatever was read is a consistent mesh.
#include "engine/Errors.h"
#include "formats/Mesh.h"
#include "formats/models/ModelReaders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using Reader = void (*)(vistamaze::models::ByteSpan, vistamaze::Mesh&);

void Run(Reader reader, const std::uint8_t* data, std::size_t size) {
    vistamaze::Mesh mesh;
    try {
        reader(vistamaze::models::ByteSpan(data, size), mesh);
    } catch (const vistamaze::Error&) {
    }
    for (const auto& t : mesh.triangles) {
        if (t[0] >= mesh.vertices.size() || t[1] >= mesh.vertices.size() || t[2] >= mesh.vertices.size()) {
            std::abort();
        }
    }
    mesh.ComputeNormals();
    static_cast<void>(mesh.BoundingRadius());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vistamaze::models;
    for (const Reader reader : {VM_FUZZ_MODEL_READERS}) {
        Run(reader, data, size);
    }
    return 0;
}
