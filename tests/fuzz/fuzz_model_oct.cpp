// Fuzz target of the oct model reader: any input gives a mesh or vistamaze::Error, and whatever
// was read is a consistent mesh.
#include "engine/Errors.h"
#include "formats/Mesh.h"
#include "formats/models/ModelReaders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Run(void (*reader)(vistamaze::models::ByteSpan, vistamaze::Mesh&), const std::uint8_t* data, std::size_t size) {
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
    Run(&vistamaze::models::ReadOctModel, data, size);
    return 0;
}
