#include "formats/TiffReader.h"

#include "engine/Errors.h"
#include "formats/ImageLimits.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tiffio.h>

namespace vistamaze {

namespace {

// Largest single allocation libtiff may make for strips, tiles or tag arrays.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{256} << 20;

// The memory file behind libtiff's client callbacks, plus the first error it reported.
struct TiffSource {
    std::span<const std::uint8_t> bytes;
    std::uint64_t pos = 0;
    std::string firstError;
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

[[gnu::format(printf, 4, 0)]] int OnTiffError(TIFF* /*tif*/, void* userData, const char* /*module*/,
                                              const char* format, va_list args) {
    TiffSource& source = *static_cast<TiffSource*>(userData);
    if (source.firstError.empty()) {
        char message[512];
        std::vsnprintf(message, sizeof message, format, args);
        source.firstError = message;
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

[[noreturn]] void Reject(const TiffSource& source, const char* fallback) {
    throw InvalidPictureError(std::string("Invalid TIFF file: ") +
                              (source.firstError.empty() ? fallback : source.firstError));
}

}  // namespace

PixelBuffer DecodeTiff(std::span<const std::uint8_t> bytes) {
    TiffSource source{bytes, 0, {}};
    const auto tif = OpenTiff(source);
    if (!tif) {
        Reject(source, "not a TIFF file");
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
        Reject(source, "no picture size");
    }
    CheckPictureSize(width, height);
    char reason[1024] = {};
    if (TIFFRGBAImageOK(tif.get(), reason) == 0) {
        Reject(source, reason);
    }
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    if (TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_BOTLEFT, 1) == 0) {
        Reject(source, "the picture data cannot be decoded");
    }
    // libtiff hands out premultiplied colour, which is the picture drawn over black already.
    PixelBuffer out(static_cast<int>(width), static_cast<int>(height), 24);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* src = raster.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* dest = out.Row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            dest[3 * x] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
            dest[3 * x + 1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
            dest[3 * x + 2] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
        }
    }
    return out;
}

}  // namespace vistamaze
