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
        case ModelFormat::mfQuake3Bsp:
            return &models::ReadQuake3BspModel;
        case ModelFormat::mfVrml:
            return &models::ReadVrmlModel;
        case ModelFormat::mfGts:
            return &models::ReadGtsModel;
        case ModelFormat::mfNurbs:
            return &models::ReadNurbsModel;
        case ModelFormat::mfOct:
            return &models::ReadOctModel;
        case ModelFormat::mfGhoul2Mesh:
            return &models::ReadGhoul2Model;
        case ModelFormat::mfGhoul2Anim:
            return &models::ReadGhoul2Animation;
        case ModelFormat::mfNmf:
            return &models::ReadNmfModel;
        case ModelFormat::mfTin:
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
    if (format == ModelFormat::mfAssimp || format == ModelFormat::mfAssimpObj) {
        const std::string extension = format == ModelFormat::mfAssimpObj ? "obj" : LowerExtension(name);
        CheckModelCounts(bytes, extension);
        AssimpInput input{bytes, name, format == ModelFormat::mfAssimpObj ? "obj" : "", openNamedFiles};
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
    if (format == ModelFormat::mfUnknown) {
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
        {"3ds", ModelFormat::mfAssimp},      {"prj", ModelFormat::mfAssimp},
        {"obj", ModelFormat::mfAssimp},      {"objf", ModelFormat::mfAssimpObj},
        {"md5mesh", ModelFormat::mfAssimp},  {"md5anim", ModelFormat::mfAssimp},
        {"ms3d", ModelFormat::mfAssimp},     {"lwo", ModelFormat::mfAssimp},
        {"smd", ModelFormat::mfAssimp},      {"b3d", ModelFormat::mfAssimp},
        {"mdc", ModelFormat::mfAssimp},      {"stl", ModelFormat::mfAssimp},
        {"md3", ModelFormat::mfAssimp},      {"md2", ModelFormat::mfAssimp},
        {"ply", ModelFormat::mfAssimp},      {"gltf", ModelFormat::mfAssimp},
        {"glb", ModelFormat::mfAssimp},      {"fbx", ModelFormat::mfAssimp},
        {"dae", ModelFormat::mfAssimp},      {"3mf", ModelFormat::mfAssimp},
        {"off", ModelFormat::mfAssimp},      {"bsp", ModelFormat::mfQuake3Bsp},
        {"q3bsp", ModelFormat::mfQuake3Bsp}, {"wrl", ModelFormat::mfVrml},
        {"gts", ModelFormat::mfGts},         {"nurbs", ModelFormat::mfNurbs},
        {"oct", ModelFormat::mfOct},         {"glm", ModelFormat::mfGhoul2Mesh},
        {"glx", ModelFormat::mfGhoul2Mesh},  {"gla", ModelFormat::mfGhoul2Anim},
        {"nmf", ModelFormat::mfNmf},         {"tin", ModelFormat::mfTin},
    };
    for (const auto& [name, format] : kTable) {
        if (extension == name) {
            return format;
        }
    }
    return ModelFormat::mfUnknown;
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
