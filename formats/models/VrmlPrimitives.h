#pragma once

#include "formats/models/VrmlParser.h"

#include <vector>

namespace vistamaze::models {

// Polygons in the form of an IndexedFaceSet: x, y, z per point; point indices with -1 ending each
// face, counter-clockwise seen from outside.
struct VrmlFaceList {
    std::vector<double> points;
    std::vector<double> indices;
};

// The surface of a VRML 97 Box, Sphere, Cylinder or Cone node in its own coordinates (centred on
// the origin, axis along y), with the node's sizes and part flags. False for any other node.
bool VrmlPrimitiveFaces(const VrmlNode& node, VrmlFaceList& faces);

}  // namespace vistamaze::models
