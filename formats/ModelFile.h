#pragma once

#include "formats/Mesh.h"

#include <filesystem>
#include <string>

namespace vistamaze {

// Which reader a model file's extension selects.
enum class ModelFormat {
    mfUnknown,
    mfAssimp,     // read from the file by Assimp's importer for that extension
    mfAssimpObj,  // objf: Assimp's OBJ importer whatever the content looks like
    mfQuake3Bsp,  // bsp, q3bsp
    mfVrml,       // wrl
    mfGts,
    mfNurbs,
    mfOct,
    mfGhoul2Mesh,  // glm, glx
    mfGhoul2Anim,  // gla
    mfNmf,
    mfTin,
};

// The reader for an extension such as ".OBJ" or "obj", compared without regard to case.
[[nodiscard]] ModelFormat ModelFormatForExtension(std::string extension);

// Loads a model file into `target`, choosing the reader by the file name's extension.
// - Unknown extension: `target` is cleared and vistamaze::Error is thrown, its message naming the
//   extension ("Unknown model file extension \".dds\"").
// - Missing or unreadable file: FileAccessError naming the file; `target` is untouched.
// - Otherwise `target` is cleared once the file has been read into memory; on a damaged file it
//   keeps whatever was read before the damage and vistamaze::Error naming the file is thrown.
// Animation files hold no surface: a gla file (checked to be one) leaves `target` empty without an
// error; for an md5anim file Assimp builds a stick figure of the skeleton in its first frame, which
// is what `target` then holds. The geometry comes with per-vertex normals (computed when the file
// has none).
void LoadModelFile(const std::filesystem::path& file, Mesh& target);

// Convenience form of LoadModelFile that returns a fresh mesh.
[[nodiscard]] Mesh LoadModelFile(const std::filesystem::path& file);

}  // namespace vistamaze
