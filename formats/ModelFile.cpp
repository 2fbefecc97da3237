#include "formats/ModelFile.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "formats/AssimpImporter.h"
#include "formats/ModelPrescan.h"
#include "formats/RegularFile.h"
#include "formats/models/ModelReaders.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace vistamaze {
namespace {

// Model files beyond this size are refused before they are read into memory.
constexpr std::uint64_t kMaxModelFileBytes = std::uint64_t{1} << 30;

std::vector<std::uint8_t> ReadModelFile(const std::filesystem::path& file) {
    const RegularFile opened = RegularFile::Open(file);
    if (!opened.IsOpen()) {
        throw FileAccessError("Cannot open model file " + QuotedName(file) + ": " + opened.Failure());
    }
    if (opened.Size() > kMaxModelFileBytes) {
        throw Error("the file is larger than 1 GiB");
    }
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!opened.ReadAll(kMaxModelFileBytes, bytes, reason)) {
        throw FileAccessError("Cannot read model file " + QuotedName(file) + ": " + reason);
    }
    return bytes;
}

using OwnReader = void (*)(models::ByteSpan, Mesh&);

OwnReader OwnReaderFor(ModelFormat format) {
    switch (format) {
        case ModelFormat::Quake3Bsp:
            return &models::ReadQuake3BspModel;
        case ModelFormat::Vrml:
            return &models::ReadVrmlModel;
        case ModelFormat::Gts:
            return &models::ReadGtsModel;
        case ModelFormat::Nurbs:
            return &models::ReadNurbsModel;
        case ModelFormat::Oct:
            return &models::ReadOctModel;
        case ModelFormat::Ghoul2Mesh:
            return &models::ReadGhoul2Model;
        case ModelFormat::Ghoul2Anim:
            return &models::ReadGhoul2Animation;
        case ModelFormat::Nmf:
            return &models::ReadNmfModel;
        case ModelFormat::Tin:
            return &models::ReadTinModel;
        default:
            return nullptr;
    }
}

std::string LowerExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Reads the model in `bytes` into the cleared `target`; throws vistamaze::Error with a short
// reason.
void DecodeModel(std::span<const std::uint8_t> bytes, const std::filesystem::path& name, ModelFormat format,
                 bool openNamedFiles, Mesh& target) {
    if (format == ModelFormat::Assimp || format == ModelFormat::AssimpObj) {
        const std::string extension = format == ModelFormat::AssimpObj ? "obj" : LowerExtension(name);
        CheckModelCounts(bytes, extension);
        AssimpInput input{bytes, name, format == ModelFormat::AssimpObj ? "obj" : "", openNamedFiles};
        ImportWithAssimp(input, target);
    } else {
        OwnReaderFor(format)(bytes, target);
        if (target.normals.size() != target.vertices.size()) {
            target.ComputeNormals();
        }
    }
    if (target.triangles.empty()) {
        throw Error("the file holds no surface");
    }
}

ModelFormat KnownFormat(const std::filesystem::path& file, Mesh& target) {
    const std::string extension = file.extension().string();
    const ModelFormat format = ModelFormatForExtension(extension);
    if (format == ModelFormat::Unknown) {
        target.Clear();
        throw Error("Unknown model file extension \"" + extension + "\" of " + QuotedName(file));
    }
    return format;
}

// Runs `load`, giving its failures the file's name.
template <typename Load>
void NamingTheFile(const std::filesystem::path& file, Load&& load) {
    try {
        load();
    } catch (const FileAccessError&) {
        throw;
    } catch (const Error& e) {
        throw Error("Cannot load model file " + QuotedName(file) + ": " + e.what());
    } catch (const std::bad_alloc&) {
        throw ModelMemoryError("Cannot load model file " + QuotedName(file) +
                               ": there is not enough memory for it");
    }
}

}  // namespace

ModelFormat ModelFormatForExtension(std::string extension) {
    if (!extension.empty() && extension.front() == '.') {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static constexpr std::pair<const char*, ModelFormat> kTable[] = {
        {"3ds", ModelFormat::Assimp},     {"prj", ModelFormat::Assimp},      {"obj", ModelFormat::Assimp},
        {"objf", ModelFormat::AssimpObj}, {"md5mesh", ModelFormat::Assimp},  {"md5anim", ModelFormat::Assimp},
        {"ms3d", ModelFormat::Assimp},    {"lwo", ModelFormat::Assimp},      {"smd", ModelFormat::Assimp},
        {"b3d", ModelFormat::Assimp},     {"mdc", ModelFormat::Assimp},      {"stl", ModelFormat::Assimp},
        {"md3", ModelFormat::Assimp},     {"md2", ModelFormat::Assimp},      {"ply", ModelFormat::Assimp},
        {"gltf", ModelFormat::Assimp},    {"glb", ModelFormat::Assimp},      {"fbx", ModelFormat::Assimp},
        {"dae", ModelFormat::Assimp},     {"3mf", ModelFormat::Assimp},      {"off", ModelFormat::Assimp},
        {"bsp", ModelFormat::Quake3Bsp},  {"q3bsp", ModelFormat::Quake3Bsp}, {"wrl", ModelFormat::Vrml},
        {"gts", ModelFormat::Gts},        {"nurbs", ModelFormat::Nurbs},     {"oct", ModelFormat::Oct},
        {"glm", ModelFormat::Ghoul2Mesh}, {"glx", ModelFormat::Ghoul2Mesh},  {"gla", ModelFormat::Ghoul2Anim},
        {"nmf", ModelFormat::Nmf},        {"tin", ModelFormat::Tin},
    };
    for (const auto& [name, format] : kTable) {
        if (extension == name) {
            return format;
        }
    }
    return ModelFormat::Unknown;
}

void LoadModelFile(const std::filesystem::path& file, Mesh& target) {
    const ModelFormat format = KnownFormat(file, target);
    NamingTheFile(file, [&] {
        const std::vector<std::uint8_t> bytes = ReadModelFile(file);
        target.Clear();
        DecodeModel(bytes, file, format, true, target);
    });
}

void LoadModelData(std::span<const std::uint8_t> bytes, const std::filesystem::path& name, Mesh& target) {
    const ModelFormat format = KnownFormat(name, target);
    target.Clear();
    NamingTheFile(name, [&] { DecodeModel(bytes, name, format, false, target); });
}

Mesh LoadModelFile(const std::filesystem::path& file) {
    Mesh mesh;
    LoadModelFile(file, mesh);
    return mesh;
}

}  // namespace vistamaze
