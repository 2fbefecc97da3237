#pragma once

#include <cstdint>
#include <span>

namespace vistamaze::prescan {

// The MD5 part of CheckModelCounts (ModelPrescan.h): an md5mesh or md5anim file read the way
// Assimp's MD5 parser splits it into sections and elements. Besides the counts against the
// file's size, the references the importer follows without checking are checked: triangle
// corners and weight ranges of each mesh, the joints of weights, the keys of animated joints in
// each frame, and the depth and size of the joint hierarchy. Throws vistamaze::Error with a short
// reason.
void CheckMd5Model(std::span<const std::uint8_t> bytes, bool animation);

}  // namespace vistamaze::prescan
