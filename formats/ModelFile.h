#pragma once

#include "engine/Errors.h"
#include "formats/Mesh.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vistamaze {

// A model that the memory available cannot hold; the message names the file.
class ModelMemoryError : public Error {
public:
    using Error::Error;
};

// Which reader a model file's extension selects.
enum class ModelFormat {
    Unknown,
    Assimp,     // read from the file by Assimp's importer for that extension
    AssimpObj,  // objf: Assimp's OBJ importer whatever the content looks like
    Quake3Bsp,  // bsp, q3bsp
    Vrml,       // wrl
    Gts,
    Nurbs,
    Oct,
    Ghoul2Mesh,  // glm, glx
    Ghoul2Anim,  // gla
    Nmf,
    Tin,
};

// The reader for an extension such as ".OBJ" or "obj", compared without regard to case.
[[nodiscard]] ModelFormat ModelFormatForExtension(std::string extension);

// Loads a model file into `target`, choosing the reader by the file name's extension.
// - Unknown extension: `target` is cleared and vistamaze::Error is thrown, its message naming the
//   extension ("Unknown model file extension \".dds\"").
// - A file that cannot be opened, or is not a regular file: FileAccessError naming the file and
//   the reason ("Cannot open model file \"x.obj\": it is a FIFO, not a regular file"); `target`
//   is untouched. Only regular files are read, the model and the files it names alike (an OBJ's
//   material library, textures, buffers), and opening one never waits.
// - Otherwise `target` is cleared once the file has been read into memory. Every other failure is
//   vistamaze::Error "Cannot load model file \"<file>\": <reason>", `target` keeping whatever was
//   read before it. Among the reasons: a count in a header that the file's size cannot hold ("it
//   claims 2000000000 vertex elements, more than its 227 bytes can hold"), refused before anything
//   is allocated; more than the mesh budget of Mesh.h ("it would make more than 10000000
//   triangles"), counted before instances or patches are expanded; a file it names that is not
//   a regular file ("the file \"m.mtl\" it names is a FIFO, not a regular file"); Assimp's reason.
// - A file that yields no triangle fails, whatever its format: "the file holds no surface", with
//   ", only points or lines" where the file has those, or ", only a skeleton and its animation"
//   for a gla file. An md5anim file gives the stick figure Assimp builds of the skeleton in its
//   first frame.
// The geometry comes with per-vertex normals (computed when the file has none).
void LoadModelFile(const std::filesystem::path& file, Mesh& target);

// Loads a model held in memory as LoadModelFile loads a file called `name` holding `bytes` (same
// reader, checks and messages, naming `name`), except that no file is opened: the files the
// model names count as missing.
void LoadModelData(std::span<const std::uint8_t> bytes, const std::filesystem::path& name, Mesh& target);

// Convenience form of LoadModelFile that returns a fresh mesh.
[[nodiscard]] Mesh LoadModelFile(const std::filesystem::path& file);

}  // namespace vistamaze
