#include "output/PictureWriters.h"

namespace vistamaze {

std::string LowerCaseExtension(const std::filesystem::path& file) {
    // filename(), unlike extension(), keeps ".png" as the extension of a file named ".png".
    const std::string name = file.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        return {};
    }
    std::string extension = name.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

PictureFileFormat PictureFileFormatFor(const std::filesystem::path& file) {
    const std::string extension = LowerCaseExtension(file);
    if (extension == ".bmp") {
        return PictureFileFormat::Bmp;
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        return PictureFileFormat::Jpeg;
    }
    if (extension == ".png") {
        return PictureFileFormat::Png;
    }
    if (extension == ".tga") {
        return PictureFileFormat::Tga;
    }
    return PictureFileFormat::None;
}

bool SavePictureByExtension(const Picture& picture, const std::filesystem::path& file, int jpegQuality,
                            std::string_view dpiText, const PngOptions& pngOptions) {
    switch (PictureFileFormatFor(file)) {
        case PictureFileFormat::Bmp:
            SaveAsBmp(picture, file);
            return true;
        case PictureFileFormat::Jpeg:
            SaveAsJpeg(picture, file, jpegQuality, dpiText);
            return true;
        case PictureFileFormat::Png:
            SaveAsPng(picture, file, dpiText, pngOptions);
            return true;
        case PictureFileFormat::Tga:
            SaveAsTga(picture, file);
            return true;
        case PictureFileFormat::None:
            break;
    }
    return false;
}

}  // namespace vistamaze
