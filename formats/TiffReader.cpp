#include "formats/TiffReader.h"

#include "engine/Errors.h"
#include "formats/ImageLimits.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tiffio.h>

namespace vistamaze {

namespace {

// Largest single allocation libtiff may make for strips, tiles or tag arrays: one strip of the
// largest picture at 24 bits per pixel fits.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{100} << 20;
// Pixels decoded per step: the RGBA buffer of one step stays at 4 MiB.
constexpr std::int64_t kPixelsPerStep = std::int64_t{1} << 20;
constexpr std::uint32_t kRowAlignment = 16;

// The memory file behind libtiff's client callbacks, plus the first error it reported.
struct TiffSource {
    std::span<const std::uint8_t> bytes;
    std::uint64_t pos = 0;
    bool failed = false;
    bool outOfMemory = false;
};

TiffSource& SourceOf(thandle_t handle) {
    return *static_cast<TiffSource*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TiffSource& source = SourceOf(handle);
    if (size <= 0 || source.pos >= source.bytes.size()) {
        return 0;
    }
    const std::size_t count =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size), source.bytes.size() - source.pos);
    std::memcpy(buffer, source.bytes.data() + source.pos, count);
    source.pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t /*handle*/, void* /*buffer*/, tmsize_t /*size*/) {
    return 0;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffSource& source = SourceOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = source.pos;
    } else if (whence == SEEK_END) {
        base = source.bytes.size();
    }
    if (offset > UINT64_MAX - base) {
        return static_cast<toff_t>(-1);
    }
    source.pos = base + offset;
    return source.pos;
}

int CloseProc(thandle_t /*handle*/) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    return SourceOf(handle).bytes.size();
}

int MapProc(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) {
    return 0;
}

void UnmapProc(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

// libtiff's own texts ("Read error at scanline 4294967295") mean nothing to a user: only
// whether it failed, and whether for want of memory, is kept.
[[gnu::format(printf, 4, 0)]] int OnTiffError(TIFF* /*tif*/, void* userData, const char* /*module*/,
                                              const char* format, va_list args) {
    TiffSource& source = *static_cast<TiffSource*>(userData);
    char message[512];
    std::vsnprintf(message, sizeof message, format, args);
    const std::string_view text(message);
    source.failed = true;
    if (text.find("emory") != std::string_view::npos || text.find("alloc") != std::string_view::npos) {
        source.outOfMemory = true;
    }
    return 1;  // handled: libtiff's process-wide handler stays silent
}

int OnTiffWarning(TIFF* /*tif*/, void* /*userData*/, const char* /*module*/, const char* /*format*/,
                  va_list /*args*/) {
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffDeleter {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

std::unique_ptr<TIFF, TiffDeleter> OpenTiff(TiffSource& source) {
    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) {
        throw Error("Out of memory while reading a TIFF file");
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnTiffError, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnTiffWarning, &source);
    return std::unique_ptr<TIFF, TiffDeleter>(TIFFClientOpenExt("memory", "r", &source, ReadProc, WriteProc,
                                                                SeekProc, CloseProc, SizeProc, MapProc,
                                                                UnmapProc, options.get()));
}

[[noreturn]] void Reject(const std::string& reason) {
    throw InvalidPictureError("Invalid TIFF file: " + reason);
}

// How many decoded bytes one byte of data can give at most, by compression; 0 where no bound is
// known (fax codes a blank row in one bit; LZMA, Zstandard and WebP code long runs in a few).
std::uint64_t MaxExpansion(std::uint16_t compression, std::uint16_t samplesPerPixel) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;  // 128 bytes from a 2-byte run
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return 1032;  // 258 bytes from a 1-bit length and a 1-bit distance code
        case COMPRESSION_JPEG:
            // Each 8 x 8 block of the first component takes at least 1 bit; the other
            // components may be subsampled to almost nothing.
            return 512 * std::uint64_t{samplesPerPixel};
        default:
            return 0;
    }
}

// Refuses strips or tiles that cannot hold the picture's samples, before any pixel memory.
void CheckStripData(TIFF* tif, std::span<const std::uint8_t> bytes, std::uint32_t width,
                    std::uint32_t height) {
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samplesPerPixel = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    const std::uint64_t expansion = MaxExpansion(compression, samplesPerPixel);
    if (expansion == 0) {
        return;
    }
    const std::uint32_t pieces = TIFFIsTiled(tif) != 0 ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    std::uint64_t present = 0;
    for (std::uint32_t i = 0; i < pieces; ++i) {
        const std::uint64_t offset = TIFFGetStrileOffset(tif, i);
        if (offset < bytes.size()) {
            present += std::min<std::uint64_t>(TIFFGetStrileByteCount(tif, i), bytes.size() - offset);
        }
    }
    const std::uint64_t rawBytes = (std::uint64_t{width} * height * bitsPerSample * samplesPerPixel + 7) / 8;
    CheckPictureData("TIFF", width, height, present, rawBytes / expansion);
}

// Reads rows [first, first + count) into the bottom-up picture. libtiff is asked for the
// file's own vertical direction, so each step's rows come in file order.
bool ReadRows(TIFFRGBAImage& image, std::uint32_t first, std::uint32_t count, bool bottomUpFile,
              std::vector<std::uint32_t>& raster, PixelBuffer& out) {
    const auto width = static_cast<std::uint32_t>(out.Width());
    const auto height = static_cast<std::uint32_t>(out.Height());
    image.row_offset = static_cast<int>(first);
    image.col_offset = 0;
    if (TIFFRGBAImageGet(&image, raster.data(), width, count) == 0) {
        return false;
    }
    // libtiff hands out premultiplied colour, which is the picture drawn over black already.
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t fileRow = first + k;
        const std::uint32_t y = bottomUpFile ? fileRow : height - 1 - fileRow;
        const std::uint32_t* src = raster.data() + static_cast<std::size_t>(k) * width;
        std::uint8_t* dest = out.Row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            dest[3 * x] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
            dest[3 * x + 1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
            dest[3 * x + 2] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
        }
    }
    return true;
}

struct RgbaImageEnd {
    void operator()(TIFFRGBAImage* image) const { TIFFRGBAImageEnd(image); }
};

bool BottomUpOrientation(std::uint16_t orientation) {
    return orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT ||
           orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
}

// Rows per step: about kPixelsPerStep pixels, whole strips or tiles where they are not larger.
std::uint32_t RowsPerStep(TIFF* tif, std::uint32_t width, std::uint32_t height) {
    std::uint32_t rows = static_cast<std::uint32_t>(std::max<std::int64_t>(1, kPixelsPerStep / width));
    std::uint32_t unit = 0;
    if (TIFFIsTiled(tif) != 0) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    }
    if (unit > 0 && unit < height && std::int64_t{unit} * width <= 4 * kPixelsPerStep) {
        rows = std::max(unit, rows / unit * unit);
    } else {
        // Steps inside a strip start on a multiple of 16 rows, so subsampled colour (at most
        // 4 rows to a sample) is never cut between two steps.
        rows = std::max(kRowAlignment, rows / kRowAlignment * kRowAlignment);
    }
    return std::min(rows, height);
}

}  // namespace

PixelBuffer DecodeTiff(std::span<const std::uint8_t> bytes) {
    TiffSource source{bytes, 0, false, false};
    const auto tif = OpenTiff(source);
    if (!tif) {
        Reject("not a TIFF file");
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
        Reject("no picture size");
    }
    CheckPictureSize(width, height);
    char reason[1024] = {};
    if (TIFFRGBAImageOK(tif.get(), reason) == 0) {
        Reject("this kind of TIFF picture is not supported");
    }
    CheckStripData(tif.get(), bytes, width, height);
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, tif.get(), 1, reason) == 0) {
        Reject("this kind of TIFF picture is not supported");
    }
    const std::unique_ptr<TIFFRGBAImage, RgbaImageEnd> imageEnd(&image);
    const bool bottomUp = BottomUpOrientation(image.orientation);
    image.req_orientation = bottomUp ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT;
    PixelBuffer out = AllocatePicture(width, height);
    const std::uint32_t step = RowsPerStep(tif.get(), width, height);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * step);
    for (std::uint32_t first = 0; first < height; first += step) {
        if (!ReadRows(image, first, std::min(step, height - first), bottomUp, raster, out)) {
            if (source.outOfMemory) {
                throw PictureMemoryError(width, height);
            }
            Reject("the picture data cannot be decoded");
        }
    }
    return out;
}

}  // namespace vistamaze
