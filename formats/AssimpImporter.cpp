#include "formats/AssimpImporter.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "formats/RegularFile.h"

#include <algorithm>
#include <assimp/IOStream.hpp>
#include <assimp/Importer.hpp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <assimp/DefaultIOSystem.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <sys/types.h>
#include <unistd.h>

namespace vistamaze {
namespace {

// Run only after CheckScene has accepted the raw scene. Assimp's own validation step is left out
// on purpose: it rejects whole files over animation keys or an empty group, while the geometry
// is fine; CheckScene checks everything these steps and the conversion read.
constexpr unsigned kPostProcess = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                  aiProcess_GenSmoothNormals | aiProcess_PreTransformVertices;

// Deeper node trees are refused: the post-processing steps walk them recursively.
constexpr unsigned kMaxNodeDepth = 1000;
// Larger polygons are refused: triangulating one takes time that grows with the square of its
// corners.
constexpr unsigned kMaxFaceCorners = 1024;

// The model file itself, served from the bytes already read.
class ByteStream : public Assimp::IOStream {
public:
    explicit ByteStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override {
        if (size == 0) {
            return 0;
        }
        const std::size_t items = std::min(count, (bytes_.size() - position_) / size);
        if (items > 0) {
            std::memcpy(buffer, bytes_.data() + position_, items * size);
            position_ += items * size;
        }
        return items;
    }
    std::size_t Write(const void* /*buffer*/, std::size_t /*size*/, std::size_t /*count*/) override {
        return 0;
    }
    aiReturn Seek(std::size_t offset, aiOrigin origin) override {
        // A backward move relative to the position arrives as a wrapped-around offset.
        const std::size_t base =
            origin == aiOrigin_SET ? 0 : (origin == aiOrigin_END ? bytes_.size() : position_);
        const std::size_t target = base + offset;
        if (target > bytes_.size()) {
            return aiReturn_FAILURE;
        }
        position_ = target;
        return aiReturn_SUCCESS;
    }
    [[nodiscard]] std::size_t Tell() const override { return position_; }
    [[nodiscard]] std::size_t FileSize() const override { return bytes_.size(); }
    void Flush() override {}

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// A file the model names, opened as a RegularFile.
class NamedFileStream : public Assimp::IOStream {
public:
    NamedFileStream(std::unique_ptr<std::FILE, FileCloser> file, std::size_t size)
        : file_(std::move(file)), size_(size) {}

    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override {
        return size == 0 ? 0 : std::fread(buffer, size, count, file_.get());
    }
    std::size_t Write(const void* /*buffer*/, std::size_t /*size*/, std::size_t /*count*/) override {
        return 0;
    }
    aiReturn Seek(std::size_t offset, aiOrigin origin) override {
        const int whence = origin == aiOrigin_SET ? SEEK_SET : (origin == aiOrigin_END ? SEEK_END : SEEK_CUR);
        return ::fseeko(file_.get(), static_cast<off_t>(offset), whence) == 0 ? aiReturn_SUCCESS
                                                                              : aiReturn_FAILURE;
    }
    [[nodiscard]] std::size_t Tell() const override {
        const off_t at = ::ftello(file_.get());
        return at < 0 ? 0 : static_cast<std::size_t>(at);
    }
    [[nodiscard]] std::size_t FileSize() const override { return size_; }
    void Flush() override {}

private:
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::size_t size_;
};

// Everything Assimp opens goes through here: the model under its (possibly aliased) name comes
// from memory, files it names are opened only when they are regular files, nothing is written.
// A file it names that is a FIFO, device or socket is remembered, and the import then fails with
// it; a folder or a missing file is reported to Assimp as missing.
class GuardedIOSystem : public Assimp::DefaultIOSystem {
public:
    GuardedIOSystem(std::span<const std::uint8_t> bytes, std::string modelName, bool openNamedFiles)
        : bytes_(bytes), modelName_(std::move(modelName)), openNamedFiles_(openNamedFiles) {}

    bool Exists(const char* file) const override {
        if (modelName_ == file) {
            return true;
        }
        // stat, never open: opening a FIFO to look at it would wait for a writer.
        std::error_code ignored;
        return openNamedFiles_ && std::filesystem::exists(file, ignored);
    }

    Assimp::IOStream* Open(const char* file, const char* mode) override {
        if (std::strpbrk(mode, "wa+") != nullptr) {
            return nullptr;
        }
        if (modelName_ == file) {
            return std::make_unique<ByteStream>(bytes_).release();  // Assimp deletes it in Close
        }
        if (!openNamedFiles_) {
            return nullptr;
        }
        RegularFile named = RegularFile::Open(file);
        if (!named.IsOpen()) {
            if (!named.Kind().empty() && named.Kind() != "a folder" && refusal_.empty()) {
                refusal_ = "the file " + QuotedName(std::string_view(file)) + " it names is " + named.Kind() +
                           ", not a regular file";
            }
            return nullptr;
        }
        const auto size = static_cast<std::size_t>(named.Size());
        const int fd = named.Release();
        std::unique_ptr<std::FILE, FileCloser> stream(::fdopen(fd, "rb"));
        if (!stream) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<NamedFileStream>(std::move(stream), size).release();
    }

    void Close(Assimp::IOStream* stream) override { std::unique_ptr<Assimp::IOStream> owned(stream); }

    [[nodiscard]] const std::string& Refusal() const noexcept { return refusal_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::string modelName_;
    bool openNamedFiles_;
    std::string refusal_;
};

[[noreturn]] void Damaged() {
    throw Error("its scene is damaged");
}

// Checks a node tree without recursion: every node reached once, its meshes in range, no deeper
// than kMaxNodeDepth. Returns how many times each mesh is instanced.
std::vector<std::uint64_t> CheckNodes(const aiScene& scene) {
    std::vector<std::uint64_t> instances(scene.mNumMeshes, 0);
    std::unordered_set<const aiNode*> seen;
    std::vector<std::pair<const aiNode*, unsigned>> pending{{scene.mRootNode, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        if (node == nullptr || !seen.insert(node).second) {
            Damaged();
        }
        if (depth > kMaxNodeDepth) {
            throw Error("its nodes are nested more than " + std::to_string(kMaxNodeDepth) + " levels deep");
        }
        if (node->mNumMeshes > 0 && node->mMeshes == nullptr) {
            Damaged();
        }
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] >= scene.mNumMeshes) {
                throw Error("a node refers to a mesh that is not there");
            }
            ++instances[node->mMeshes[i]];
        }
        if (node->mNumChildren > 0 && node->mChildren == nullptr) {
            Damaged();
        }
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            if (node->mChildren[i] != nullptr && node->mChildren[i]->mParent != node) {
                Damaged();
            }
            pending.emplace_back(node->mChildren[i], depth + 1);
        }
    }
    return instances;
}

struct MeshCounts {
    std::uint64_t triangles = 0;      // once triangulated
    std::uint64_t pointsOrLines = 0;  // faces of one or two corners, and vertices of no face
};

MeshCounts CheckMesh(const aiScene& scene, const aiMesh& mesh) {
    if ((mesh.mNumVertices > 0 && mesh.mVertices == nullptr) ||
        (mesh.mNumFaces > 0 && mesh.mFaces == nullptr) || mesh.mMaterialIndex >= scene.mNumMaterials) {
        Damaged();
    }
    MeshCounts counts;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices > kMaxFaceCorners) {
            throw Error("a face has more than " + std::to_string(kMaxFaceCorners) + " corners");
        }
        // A face of no corners would be taken for a polygon, which triangulation cannot handle.
        if (face.mNumIndices == 0 || face.mIndices == nullptr) {
            throw Error("a face has no corners");
        }
        for (unsigned i = 0; i < face.mNumIndices; ++i) {
            if (face.mIndices[i] >= mesh.mNumVertices) {
                throw Error("a face refers to a vertex that is not there");
            }
        }
        if (face.mNumIndices >= 3) {
            counts.triangles += face.mNumIndices - 2;
        } else {
            ++counts.pointsOrLines;
        }
    }
    if (mesh.mNumFaces == 0) {
        counts.pointsOrLines += mesh.mNumVertices;  // a point cloud
    }
    if (mesh.mNumBones > 0 && mesh.mBones == nullptr) {
        Damaged();
    }
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const aiBone* bone = mesh.mBones[b];
        if (bone == nullptr || (bone->mNumWeights > 0 && bone->mWeights == nullptr)) {
            Damaged();
        }
        for (unsigned w = 0; w < bone->mNumWeights; ++w) {
            if (bone->mWeights[w].mVertexId >= mesh.mNumVertices) {
                throw Error("a bone refers to a vertex that is not there");
            }
        }
    }
    if (mesh.mNumAnimMeshes > 0 && mesh.mAnimMeshes == nullptr) {
        Damaged();
    }
    for (unsigned a = 0; a < mesh.mNumAnimMeshes; ++a) {
        const aiAnimMesh* shape = mesh.mAnimMeshes[a];
        if (shape == nullptr || shape->mNumVertices != mesh.mNumVertices) {
            Damaged();
        }
    }
    return counts;
}

// What the post-processing steps and the conversion rely on, checked on the scene as the importer
// left it; and the size of what the node instances would make, against the budget of `target`.
void CheckScene(const aiScene& scene, const Mesh& target) {
    if ((scene.mNumMeshes > 0 && scene.mMeshes == nullptr) ||
        (scene.mNumMaterials > 0 && scene.mMaterials == nullptr)) {
        Damaged();
    }
    for (unsigned m = 0; m < scene.mNumMaterials; ++m) {
        if (scene.mMaterials[m] == nullptr) {
            Damaged();
        }
    }
    const std::vector<std::uint64_t> instances = CheckNodes(scene);
    std::uint64_t triangles = 0;
    std::uint64_t vertices = 0;
    std::uint64_t pointsOrLines = 0;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        if (scene.mMeshes[m] == nullptr) {
            Damaged();
        }
        const MeshCounts counts = CheckMesh(scene, *scene.mMeshes[m]);
        pointsOrLines += counts.pointsOrLines;
        // Saturating: a shared mesh may be instanced very often; the budget check below needs
        // only to know that the sum went past it.
        const std::uint64_t copies = std::min<std::uint64_t>(instances[m], kMaxMeshTriangles + 1);
        triangles = std::min<std::uint64_t>(triangles + copies * counts.triangles, UINT64_MAX / 4);
        vertices =
            std::min<std::uint64_t>(vertices + copies * scene.mMeshes[m]->mNumVertices, UINT64_MAX / 4);
    }
    target.RequireRoom(vertices, triangles);
    if (triangles == 0) {
        throw Error(pointsOrLines > 0 ? "the file holds no surface, only points or lines"
                                      : "the file holds no surface");
    }
}

void AppendAssimpMesh(const aiScene& scene, const aiMesh& mesh, Mesh& target) {
    if (mesh.mVertices == nullptr || mesh.mFaces == nullptr) {
        return;
    }
    MeshColor diffuse;
    bool hasDiffuse = false;
    if (mesh.mMaterialIndex < scene.mNumMaterials && scene.mMaterials != nullptr &&
        scene.mMaterials[mesh.mMaterialIndex] != nullptr) {
        aiColor4D colour;
        if (scene.mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS) {
            diffuse = {colour.r, colour.g, colour.b};
            hasDiffuse = true;
        }
    }
    target.BeginPart(hasDiffuse ? &diffuse : nullptr);
    target.RequireRoom(mesh.mNumVertices, 0);
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
            throw Error("a face refers to a vertex that is not there");
        }
        target.AddTriangle(base + face.mIndices[0], base + face.mIndices[1], base + face.mIndices[2]);
    }
}

[[noreturn]] void ImportFailed(const Assimp::Importer& importer) {
    const std::string message = importer.GetErrorString();
    if (message == "std::bad_alloc") {
        throw std::bad_alloc();  // Assimp caught it; the caller says it in its words
    }
    // Point and line primitives may be dropped on import; a file of nothing else is left with
    // no mesh at all, which Assimp reports in its own terms.
    if (message.find("No output meshes") != std::string::npos) {
        throw Error("the file holds no surface, only points or lines");
    }
    throw Error(message.empty() ? std::string("the importer gave no reason") : message);
}

}  // namespace

void ImportWithAssimp(const AssimpInput& input, Mesh& target) {
    std::string modelName = input.name.string();
    if (!input.importAs.empty()) {
        modelName += "." + input.importAs;
    }
    Assimp::Importer importer;
    auto io = std::make_unique<GuardedIOSystem>(input.bytes, modelName, input.openNamedFiles);
    const GuardedIOSystem& guard = *io;
    importer.SetIOHandler(io.release());  // the importer owns and deletes its IO handler
    const aiScene* scene = importer.ReadFile(modelName, 0);
    if (!guard.Refusal().empty()) {
        throw Error(guard.Refusal());
    }
    if (scene == nullptr) {
        ImportFailed(importer);
    }
    CheckScene(*scene, target);
    scene = importer.ApplyPostProcessing(kPostProcess);
    if (scene == nullptr) {
        ImportFailed(importer);
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

}  // namespace vistamaze
