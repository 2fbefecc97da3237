// Fuzz target of the Assimp path of the model loader: the first byte picks the format, the rest
// is the file, loaded from memory through the same checks and conversion as a file (no file it
// names is opened). Any input gives a mesh or vistamaze::Error, and a mesh is consistent.
#include "engine/Errors.h"
#include "formats/ModelFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

namespace {

constexpr const char* kExtensions[] = {"obj",     "stl",  "ply", "3ds", "dae", "md2", "md3",
                                       "md5mesh", "ms3d", "lwo", "off", "smd", "b3d", "mdc"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string name = std::string("model.") + kExtensions[data[0] % std::size(kExtensions)];
    vistamaze::Mesh mesh;
    try {
        vistamaze::LoadModelData({data + 1, size - 1}, name, mesh);
    } catch (const vistamaze::Error&) {
        return 0;
    }
    if (mesh.triangles.empty() || mesh.normals.size() != mesh.vertices.size()) {
        std::abort();
    }
    for (const auto& t : mesh.triangles) {
        if (t[0] >= mesh.vertices.size() || t[1] >= mesh.vertices.size() || t[2] >= mesh.vertices.size()) {
            std::abort();
        }
    }
    return 0;
}
