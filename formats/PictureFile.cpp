#include "formats/PictureFile.h"

#include "engine/Errors.h"
#include "formats/BmpReader.h"
#include "formats/DdsReader.h"
#include "formats/GifReader.h"
#include "formats/IcoReader.h"
#include "formats/JpegReader.h"
#include "formats/PcxReader.h"
#include "formats/PngReader.h"
#include "formats/TgaReader.h"
#include "formats/TiffReader.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

namespace vistamaze {

namespace {

using Decoder = PixelBuffer (*)(std::span<const std::uint8_t>);

struct DecoderEntry {
    std::string_view extension;
    Decoder decode;
};

// One reader per extension; every extension of ReadablePictureFormats() has an entry here.
constexpr std::array kDecoders{
    DecoderEntry{"png", DecodePng},
    DecoderEntry{"jpeg", DecodeJpeg},
    DecoderEntry{"jpg", DecodeJpeg},
    // Targa, Vista, PCX, DCX and DDS entries
    DecoderEntry{"tga", DecodeTga},
    DecoderEntry{"afi", DecodeTga},
    DecoderEntry{"vst", DecodeTga},
    DecoderEntry{"dcx", DecodeDcx},
    DecoderEntry{"pcc", DecodePcx},
    DecoderEntry{"pcx", DecodePcx},
    DecoderEntry{"dds", DecodeDds},
    DecoderEntry{"tiff", DecodeTiff},
    DecoderEntry{"tif", DecodeTiff},
    DecoderEntry{"gif", DecodeGif},
    DecoderEntry{"bmp", DecodeBmp},
    DecoderEntry{"ico", DecodeIco},
};

constexpr std::uintmax_t kMaxPictureFileBytes = std::uintmax_t{1} << 30;
constexpr std::size_t kReadChunkBytes = std::size_t{1} << 20;

Decoder FindDecoder(std::string_view extension) {
    for (const DecoderEntry& entry : kDecoders) {
        if (entry.extension == extension) {
            return entry.decode;
        }
    }
    throw InvalidPictureError("Unsupported picture file type \"." + std::string(extension) + "\"");
}

std::string LowerAsciiExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (!extension.empty() && extension.front() == '.') {
        extension.erase(0, 1);
    }
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

[[noreturn]] void AccessFailed(const std::filesystem::path& file, int error) {
    throw FileAccessError("Cannot read file \"" + file.string() +
                          "\": " + std::generic_category().message(error));
}

[[noreturn]] void TooLarge() {
    throw InvalidPictureError("The picture file is too large");
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& file) {
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(file.string().c_str(), "rb"));
    if (!stream) {
        AccessFailed(file, errno != 0 ? errno : EIO);
    }
    std::vector<std::uint8_t> bytes;
    std::error_code sizeError;
    const std::uintmax_t expected = std::filesystem::file_size(file, sizeError);
    if (!sizeError) {
        if (expected > kMaxPictureFileBytes) {
            TooLarge();
        }
        bytes.reserve(static_cast<std::size_t>(expected) + kReadChunkBytes);
    }
    // Read in chunks rather than trusting the size: the file may change while it is read.
    for (;;) {
        const std::size_t before = bytes.size();
        if (before > kMaxPictureFileBytes) {
            TooLarge();
        }
        bytes.resize(before + kReadChunkBytes);
        errno = 0;
        const std::size_t got = std::fread(bytes.data() + before, 1, kReadChunkBytes, stream.get());
        bytes.resize(before + got);
        if (got < kReadChunkBytes) {
            if (std::ferror(stream.get()) != 0) {
                AccessFailed(file, errno != 0 ? errno : EIO);
            }
            break;
        }
    }
    if (bytes.size() > kMaxPictureFileBytes) {
        TooLarge();
    }
    return bytes;
}

}  // namespace

const std::vector<PictureFormat>& ReadablePictureFormats() {
    static const std::vector<PictureFormat> kFormats{
        {"PNG", {"png"}},
        {"JPEG", {"jpeg", "jpg"}},
        {"Truevision Targa", {"tga", "afi"}},
        {"Truevision Vista", {"vst"}},
        {"DCX", {"dcx"}},
        {"ZSoft PC Paintbrush", {"pcc", "pcx"}},
        {"TIFF", {"tiff", "tif"}},
        {"GIF", {"gif"}},
        {"Windows bitmap", {"bmp"}},
        {"icon", {"ico"}},
        {"DirectDraw surface", {"dds"}},
    };
    return kFormats;
}

PixelBuffer DecodePicture(std::string_view lowerExtensionWithoutDot, std::span<const std::uint8_t> bytes) {
    PixelBuffer picture = FindDecoder(lowerExtensionWithoutDot)(bytes);
    if (picture.BitsPerPixel() != 24) {
        return picture.To24Bit();
    }
    return picture;
}

Picture ReadPictureFile(const std::filesystem::path& file) {
    const std::string extension = LowerAsciiExtension(file);
    const Decoder decode = FindDecoder(extension);
    const std::vector<std::uint8_t> bytes = ReadWholeFile(file);
    PixelBuffer picture = decode(bytes);
    if (picture.BitsPerPixel() != 24) {
        picture = picture.To24Bit();
    }
    return Picture(std::move(picture));
}

}  // namespace vistamaze
