#pragma once

#include "formats/Mesh.h"

#include <filesystem>

namespace vistamaze {

// The one bridge to Assimp. Both functions append the imported geometry to `target` (node
// transforms applied, polygons triangulated, identical vertices joined, normals generated where
// the file has none, one part per Assimp mesh with its material's diffuse colour) and throw
// vistamaze::Error with Assimp's reason when the import fails. Points and lines are dropped.

// Imports the file with the importer its extension selects; the caller has checked the extension.
void ImportWithAssimp(const std::filesystem::path& file, Mesh& target);

// Imports the file with the importer for `extension` (without dot, e.g. "obj") whatever its own
// extension, so that Assimp does not guess the format from the content.
void ImportWithAssimpAs(const std::filesystem::path& file, const char* extension, Mesh& target);

}  // namespace vistamaze
