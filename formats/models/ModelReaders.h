#pragma once

// The model readers of our own, for the formats Assimp lacks. Each reads a whole file held in
// memory and appends its geometry to `target`, which the caller has cleared. On damaged input a
// reader throws vistamaze::Error with a short reason (the caller adds the file name); `target`
// then holds what was read before the damage. No reader trusts a count or offset from the file:
// each is checked against the data size and the mesh limits before anything is allocated.

#include "formats/Mesh.h"

#include <cstdint>
#include <span>

namespace vistamaze::models {

using ByteSpan = std::span<const std::uint8_t>;

// VRML 2.0 / VRML 97 (utf8) and VRML 1.0 (ascii): IndexedFaceSet geometry under transforms.
void ReadVrmlModel(ByteSpan data, Mesh& target);
// GNU Triangulated Surface: vertices, edges, faces given by three edges.
void ReadGtsModel(ByteSpan data, Mesh& target);
// Text NURBS surface (uOrder, vOrder, uDimension, vDimension, uKnot, vKnot, controlPoint, weight),
// tessellated into a regular grid.
void ReadNurbsModel(ByteSpan data, Mesh& target);
// FSRad OCT: polygons over a shared vertex array.
void ReadOctModel(ByteSpan data, Mesh& target);
// Ghoul2 mesh ("2LGM", glm and glx): the surfaces of the first level of detail, in bind pose.
void ReadGhoul2Model(ByteSpan data, Mesh& target);
// Ghoul2 skeleton and animation ("2LGA"): the header is checked; it holds no geometry, so a valid
// header ends in vistamaze::Error "the file holds no surface, only a skeleton and its animation".
void ReadGhoul2Animation(ByteSpan data, Mesh& target);
// ATI NormalMapper NMF: chunk "TRIS" of stand-alone triangles.
void ReadNmfModel(ByteSpan data, Mesh& target);
// Triangular irregular network as text: one triangle of nine coordinates per line.
void ReadTinModel(ByteSpan data, Mesh& target);
// Quake 3 BSP ("IBSP" version 46): polygon and mesh faces and tessellated Bezier patches.
void ReadQuake3BspModel(ByteSpan data, Mesh& target);

}  // namespace vistamaze::models
