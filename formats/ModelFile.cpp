#include "formats/ModelFile.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "formats/AssimpImporter.h"
#include "formats/models/ModelReaders.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace vistamaze {
namespace {

// Model files beyond this size are refused before they are read into memory.
constexpr long long kMaxModelFileBytes = 1LL << 30;

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        throw FileAccessError("Cannot open model file " + QuotedName(file) + ": it is a folder");
    }
    FilePtr f(std::fopen(file.c_str(), "rb"));
    if (!f) {
        throw FileAccessError("Cannot open model file " + QuotedName(file) + ": " + std::strerror(errno));
    }
    return f;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& file) {
    FilePtr f = OpenForReading(file);
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        if (n > 0 && static_cast<long long>(bytes.size() + n) > kMaxModelFileBytes) {
            throw Error("the file is larger than 1 GiB");
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            break;
        }
    }
    if (std::ferror(f.get()) != 0) {
        throw FileAccessError("Cannot read model file " + QuotedName(file));
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

void ReadByFormat(const std::filesystem::path& file, ModelFormat format, Mesh& target) {
    if (format == ModelFormat::mfAssimp || format == ModelFormat::mfAssimpObj) {
        OpenForReading(file);  // a missing file is reported as such, not as an import failure
        target.Clear();
        if (format == ModelFormat::mfAssimpObj) {
            ImportWithAssimpAs(file, "obj", target);
        } else {
            ImportWithAssimp(file, target);
        }
        return;
    }
    const std::vector<std::uint8_t> bytes = ReadWholeFile(file);
    target.Clear();
    OwnReaderFor(format)(bytes, target);
    if (target.normals.size() != target.vertices.size()) {
        target.ComputeNormals();
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
    const std::string extension = file.extension().string();
    const ModelFormat format = ModelFormatForExtension(extension);
    if (format == ModelFormat::mfUnknown) {
        target.Clear();
        throw Error("Unknown model file extension \"" + extension + "\" of " + QuotedName(file));
    }
    try {
        ReadByFormat(file, format, target);
    } catch (const FileAccessError&) {
        throw;
    } catch (const Error& e) {
        throw Error("Cannot load model file " + QuotedName(file) + ": " + e.what());
    }
}

Mesh LoadModelFile(const std::filesystem::path& file) {
    Mesh mesh;
    LoadModelFile(file, mesh);
    return mesh;
}

}  // namespace vistamaze
