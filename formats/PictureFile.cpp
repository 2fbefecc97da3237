#include "formats/PictureFile.h"

#include "engine/Errors.h"
#include "formats/BmpReader.h"
#include "formats/DdsReader.h"
#include "formats/GifReader.h"
#include "formats/IcoReader.h"
#include "formats/ImageLimits.h"
#include "formats/JpegReader.h"
#include "formats/PcxReader.h"
#include "formats/PngReader.h"
#include "formats/TgaReader.h"
#include "formats/TiffReader.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    DecoderEntry{"vda", DecodeTga},
    DecoderEntry{"icb", DecodeTga},
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

// Directories, FIFOs and devices are refused before a byte is read: a device such as
// /dev/zero would feed the reader until the size limit, a FIFO would wait for a writer.
[[noreturn]] void NotRegular(const std::filesystem::path& file, mode_t mode) {
    if (S_ISDIR(mode)) {
        AccessFailed(file, EISDIR);
    }
    std::string kind;
    if (S_ISFIFO(mode)) {
        kind = " (a FIFO)";
    } else if (S_ISSOCK(mode)) {
        kind = " (a socket)";
    } else if (S_ISCHR(mode) || S_ISBLK(mode)) {
        kind = " (a device)";
    }
    throw FileAccessError("Cannot read file \"" + file.string() + "\": it is not a regular file" + kind);
}

[[noreturn]] void TooLarge() {
    throw InvalidPictureError("The picture file is too large");
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Opens `file` for reading only when it is a regular file (after following links).
std::unique_ptr<std::FILE, FileCloser> OpenRegularFile(const std::filesystem::path& file,
                                                       std::uintmax_t& size) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer before its kind can be checked.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        AccessFailed(file, errno);
    }
    std::unique_ptr<std::FILE, FileCloser> stream(::fdopen(fd, "rb"));
    if (!stream) {
        const int err = errno;
        ::close(fd);
        AccessFailed(file, err);
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        AccessFailed(file, errno);
    }
    if (!S_ISREG(status.st_mode)) {
        NotRegular(file, status.st_mode);
    }
    // A file system may honour O_NONBLOCK for regular files too; reads must wait, not fail.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        AccessFailed(file, errno);
    }
    size = static_cast<std::uintmax_t>(status.st_size);
    return stream;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& file) {
    std::uintmax_t expected = 0;
    const std::unique_ptr<std::FILE, FileCloser> stream = OpenRegularFile(file, expected);
    if (expected > kMaxPictureFileBytes) {
        TooLarge();
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(expected) + kReadChunkBytes);
    // Read in chunks rather than trusting the size: the file may change while it is read. The
    // first chunk is the size found plus one byte, so an unchanged file is read in one call and
    // the buffer never grows past it: every byte made ready for a read costs a page to the kernel.
    std::size_t chunk = static_cast<std::size_t>(expected) + 1;
    for (;;) {
        const std::size_t before = bytes.size();
        if (before > kMaxPictureFileBytes) {
            TooLarge();
        }
        bytes.resize(before + chunk);
        errno = 0;
        const std::size_t got = std::fread(bytes.data() + before, 1, chunk, stream.get());
        bytes.resize(before + got);
        if (got < chunk) {
            if (std::ferror(stream.get()) != 0) {
                AccessFailed(file, errno != 0 ? errno : EIO);
            }
            break;
        }
        chunk = kReadChunkBytes;
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
        {"Truevision Targa", {"tga", "afi", "vda", "icb"}},
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
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) of "\"" + string.
    std::string quoted(1, '"');
    quoted.append(file.string()).push_back('"');
    try {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(file);
        PixelBuffer picture = decode(bytes);
        if (picture.BitsPerPixel() != 24) {
            picture = picture.To24Bit();
        }
        return Picture(std::move(picture));
    } catch (const PictureMemoryError& e) {
        throw Error("Not enough memory to read " + quoted + ": the picture is " + std::to_string(e.Width()) +
                    " x " + std::to_string(e.Height()) + " pixels");
    } catch (const std::bad_alloc&) {
        std::error_code ignored;
        const std::uintmax_t fileBytes = std::filesystem::file_size(file, ignored);
        throw Error("Not enough memory to read " + quoted + " (a file of " + std::to_string(fileBytes) +
                    " bytes)");
    } catch (const InvalidPictureError& e) {
        // The readers know only the bytes; the user needs to know which file they came from.
        throw InvalidPictureError(std::string(e.what()) + " (" + quoted + ")");
    }
}

}  // namespace vistamaze
