#include "formats/AssimpImporter.h"

#include "engine/Errors.h"

#include <assimp/Importer.hpp>
#include <memory>
#include <string>
#include <utility>

#include <assimp/DefaultIOSystem.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

namespace vistamaze {
namespace {

// No aiProcess_ValidateDataStructure: it rejects whole files over animation keys or an empty
// group, while the geometry is fine; the conversion below checks every index itself.
constexpr unsigned kPostProcess = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                  aiProcess_GenSmoothNormals | aiProcess_PreTransformVertices;

void AppendAssimpMesh(const aiScene& scene, const aiMesh& mesh, Mesh& target) {
    if (mesh.mVertices == nullptr || mesh.mFaces == nullptr) {
        return;
    }
    MeshColor diffuse;
    bool hasDiffuse = false;
    if (mesh.mMaterialIndex < scene.mNumMaterials && scene.mMaterials != nullptr) {
        aiColor4D colour;
        if (scene.mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS) {
            diffuse = {colour.r, colour.g, colour.b};
            hasDiffuse = true;
        }
    }
    target.BeginPart(hasDiffuse ? &diffuse : nullptr);
    if (target.vertices.size() + mesh.mNumVertices > kMaxMeshVertices) {
        throw Error("too many vertices");
    }
    const auto base = static_cast<std::uint32_t>(target.vertices.size());
    const bool hasNormals = mesh.mNormals != nullptr;
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
        const aiVector3D& v = mesh.mVertices[i];
        target.AddVertex({v.x, v.y, v.z});
        const aiVector3D n = hasNormals ? mesh.mNormals[i] : aiVector3D(0.0F, 0.0F, 1.0F);
        target.normals.push_back({n.x, n.y, n.z});
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3 || face.mIndices == nullptr) {
            continue;  // points and lines carry no surface
        }
        if (face.mIndices[0] >= mesh.mNumVertices || face.mIndices[1] >= mesh.mNumVertices ||
            face.mIndices[2] >= mesh.mNumVertices) {
            throw Error("vertex index out of range");
        }
        target.AddTriangle(base + face.mIndices[0], base + face.mIndices[1], base + face.mIndices[2]);
    }
}

void AppendScene(const aiScene* scene, const Assimp::Importer& importer, Mesh& target) {
    if (scene == nullptr) {
        const std::string message = importer.GetErrorString();
        // Point and line primitives are dropped on import; a file of nothing else is left with
        // no mesh at all, which Assimp reports in its own terms.
        if (message.find("No output meshes") != std::string::npos) {
            throw Error("the file holds no surface, only points or lines");
        }
        throw Error(message);
    }
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        if (scene->mMeshes[m] != nullptr) {
            AppendAssimpMesh(*scene, *scene->mMeshes[m], target);
        }
    }
    if (!target.parts.empty() && target.parts.back().triangleCount == 0) {
        target.parts.pop_back();
    }
    // Normals are generated per mesh; a mesh without faces may leave zero vectors behind.
    if (target.normals.size() != target.vertices.size()) {
        target.ComputeNormals();
    }
}

// Shows Assimp one file under another name, so that the importer of the alias's extension reads
// it; every other file (an OBJ's material library, textures) is found as usual beside it.
class AliasIOSystem : public Assimp::DefaultIOSystem {
public:
    AliasIOSystem(std::string alias, std::string real) : alias_(std::move(alias)), real_(std::move(real)) {}

    bool Exists(const char* file) const override { return DefaultIOSystem::Exists(Map(file)); }
    Assimp::IOStream* Open(const char* file, const char* mode) override {
        return DefaultIOSystem::Open(Map(file), mode);
    }

private:
    [[nodiscard]] const char* Map(const char* file) const { return alias_ == file ? real_.c_str() : file; }

    std::string alias_;
    std::string real_;
};

}  // namespace

void ImportWithAssimp(const std::filesystem::path& file, Mesh& target) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(file.string(), kPostProcess);
    AppendScene(scene, importer, target);
}

void ImportWithAssimpAs(const std::filesystem::path& file, const char* extension, Mesh& target) {
    Assimp::Importer importer;
    const std::string alias = file.string() + "." + extension;
    // Assimp's importer owns and deletes its IO handler.
    importer.SetIOHandler(std::make_unique<AliasIOSystem>(alias, file.string()).release());
    const aiScene* scene = importer.ReadFile(alias, kPostProcess);
    AppendScene(scene, importer, target);
}

}  // namespace vistamaze
