#pragma once

#include "formats/Mesh.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vistamaze {

// A model file already read into memory, as the one bridge to Assimp receives it.
struct AssimpInput {
    std::span<const std::uint8_t> bytes;
    // The file's path: the files it names (materials, textures, buffers) are looked for beside it.
    std::filesystem::path name;
    // Non-empty (without dot, e.g. "obj"): the importer of this extension reads the file whatever
    // its own extension, so that Assimp does not guess the format from the content.
    std::string importAs;
    // False: the files it names count as missing and nothing is opened.
    bool openNamedFiles = true;
};

// Appends the model to `target` (node transforms applied, polygons triangulated, identical
// vertices joined, normals generated where the file has none, one part per Assimp mesh with its
// material's diffuse colour; points and lines are dropped).
// Assimp reads the file without post-processing first; its scene is then checked (every face and
// bone index, node references, nesting depth, and the triangles and vertices all node instances
// would make against the mesh budget) before any post-processing step runs. The files it names
// are opened only when they are regular files, as RegularFile does. Throws vistamaze::Error with
// a short reason (the caller adds the file's name): Assimp's own, the check's, "the file <name>
// it names is a FIFO, not a regular file", or "the file holds no surface[, only points or
// lines]".
void ImportWithAssimp(const AssimpInput& input, Mesh& target);

}  // namespace vistamaze
