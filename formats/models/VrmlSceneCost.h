#pragma once

#include "formats/models/VrmlParser.h"

#include <cstdint>
#include <vector>

namespace vistamaze::models {

// What walking a parsed VRML scene would make, counted without making it. Counts saturate at
// kVrmlCountLimit, far beyond any budget.
struct VrmlCost {
    std::uint64_t visits = 0;  // nodes visited, every instance of a shared node again
    std::uint64_t vertices = 0;
    std::uint64_t triangles = 0;
};

inline constexpr std::uint64_t kVrmlCountLimit = UINT64_MAX / 4;

// The cost of the scene under `roots`, visited as ReadVrmlModel visits it: VRML 2.0 Shape nodes
// under grouping nodes (one Switch choice, the first LOD level), or, for VRML 1.0, face sets with
// the Coordinate3 in scope. A node used many times (DEF/USE) is counted once for each place its
// count can differ, so the count takes time in proportion to the text, not to the instances.
// Throws vistamaze::Error("scene graph too large") when nodes nest more than `maxDepth` deep.
VrmlCost CountVrmlScene(const std::vector<VrmlNodePtr>& roots, bool version1, int maxDepth);

// The vertices and triangles that the faces of `indices` (point indices, a negative index ending
// each polygon, fanned into triangles) over `points` (x, y, z each) make.
VrmlCost CountVrmlFaces(const std::vector<double>& points, const std::vector<double>& indices);

}  // namespace vistamaze::models
