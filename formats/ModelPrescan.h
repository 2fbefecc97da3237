#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vistamaze {

// A cheap look at a model file before Assimp reads it, for the formats whose importers allocate
// by counts in the file before checking them. Counts of PLY elements and list items, OFF vertices
// and faces, MD5 meshes, joints, vertices, triangles, weights and frames, and binary STL's
// triangle count are checked against the file's size: each counted item needs at least a few
// bytes of the file. A PLY file without end_header is refused too (Assimp searches past its end),
// and so are other inputs found to hang or crash an importer: MD5 files are read the way its
// parser splits them and their references checked (Md5Prescan.h); an SMD file must hold no NUL
// byte and close each section with "end"; a Collada file's index lists must hold only numbers;
// the XML elements of a Collada file and the JSON values of a glTF file may not nest more than
// 1000 levels deep.
// Throws vistamaze::Error with a short reason, e.g. "it claims 2000000000 vertex elements, more
// than its 227 bytes can hold". `extension` is lower case without the dot; other extensions pass.
void CheckModelCounts(std::span<const std::uint8_t> bytes, std::string_view extension);

}  // namespace vistamaze
