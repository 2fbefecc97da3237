#include "output/PngWriter.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "output/PictureResolution.h"
#include "output/PngBandWriter.h"
#include "output/ReplacingFile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <png.h>

namespace vistamaze {

namespace {

constexpr png_fixed_point kFileGamma = 50000;  // 0.5

// Everything the libpng callbacks reach. Trivially destructible, because libpng leaves its
// callbacks and EncodePng with longjmp.
struct PngJob {
    ReplacingFile* out = nullptr;
    char message[256] = {};
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::strncpy(job->message, message != nullptr ? message : "", sizeof job->message - 1);
    // Jump back to EncodePng here: returning would let libpng print the message to stderr.
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void OnPngWrite(png_structp png, png_bytep data, std::size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (!job->out->TryWrite(data, length)) {
        png_error(png, "write failed");
    }
}

void OnPngFlush(png_structp /*png*/) {}

// Owns libpng's write and info structures.
class PngWriteStructs {
public:
    explicit PngWriteStructs(PngJob& job)
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning)) {
        if (png_ == nullptr) {
            throw Error("png_create_write_struct failed");
        }
        info_ = png_create_info_struct(png_);
        if (info_ == nullptr) {
            png_destroy_write_struct(&png_, nullptr);
            throw Error("png_create_info_struct failed");
        }
    }
    ~PngWriteStructs() { png_destroy_write_struct(&png_, &info_); }
    PngWriteStructs(const PngWriteStructs&) = delete;
    PngWriteStructs& operator=(const PngWriteStructs&) = delete;

    [[nodiscard]] png_structp Png() const noexcept { return png_; }
    [[nodiscard]] png_infop Info() const noexcept { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

int FilterFlags(PngFilter filter) {
    switch (filter) {
        case PngFilter::None:
            return PNG_FILTER_NONE;
        case PngFilter::Sub:
            return PNG_FILTER_SUB;
        case PngFilter::Up:
            return PNG_FILTER_UP;
        case PngFilter::Average:
            return PNG_FILTER_AVG;
        case PngFilter::Paeth:
            return PNG_FILTER_PAETH;
        case PngFilter::Adaptive:
            break;
    }
    return PNG_ALL_FILTERS;
}

struct PngEncodeSettings {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int level = 5;
    bool interlace = true;
    int filterFlags = PNG_ALL_FILTERS;
    png_uint_32 pixelsPerMetre = 0;  // 0: no pHYs chunk
};

// The only function that libpng may leave by longjmp: its locals are all trivially
// destructible. Returns false when libpng reported an error (its text is in the job).
bool EncodePng(PngJob* job, png_structp png, png_infop info, png_bytepp topDownRows,
               const PngEncodeSettings* s) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, job, OnPngWrite, OnPngFlush);
    png_set_IHDR(png, info, s->width, s->height, 8, PNG_COLOR_TYPE_RGB,
                 s->interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, s->level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, s->filterFlags);
    png_set_gAMA_fixed(png, info, kFileGamma);
    if (s->pixelsPerMetre != 0) {
        png_set_pHYs(png, info, s->pixelsPerMetre, s->pixelsPerMetre, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    png_set_bgr(png);  // our pixels are blue, green, red
    png_write_image(png, topDownRows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

void SaveAsPng(const Picture& picture, const std::filesystem::path& file, std::string_view dpiText,
               const PngOptions& options) {
    if (!picture.HasImage()) {
        throw Error("The picture is empty");
    }
    std::optional<PixelBuffer> converted;
    if (picture.Bitmap().BitsPerPixel() != 24) {
        converted = picture.To24Bit();
    }
    const PixelBuffer& bitmap = converted ? *converted : picture.Bitmap();

    if (options.threads != 1 && !options.interlace && options.filter != PngFilter::Adaptive) {
        SaveAsPngInBands(bitmap, file, PixelsPerMetreFromDpiText(dpiText).value_or(0), options);
        return;
    }

    PngEncodeSettings settings;
    settings.width = static_cast<png_uint_32>(bitmap.Width());
    settings.height = static_cast<png_uint_32>(bitmap.Height());
    settings.level = std::clamp(options.level, 0, 9);
    settings.interlace = options.interlace;
    settings.filterFlags = FilterFlags(options.filter);
    settings.pixelsPerMetre = PixelsPerMetreFromDpiText(dpiText).value_or(0);

    // libpng only reads through these pointers (png_set_bgr works on its own row copy).
    std::vector<png_bytep> rows(static_cast<std::size_t>(bitmap.Height()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = const_cast<png_bytep>(bitmap.Row(bitmap.Height() - 1 - static_cast<int>(i)));
    }

    PngJob job;
    PngWriteStructs structs(job);
    ReplacingFile out(file);
    job.out = &out;
    if (!EncodePng(&job, structs.Png(), structs.Info(), rows.data(), &settings)) {
        if (out.WriteFailed()) {
            out.ThrowWriteError();
        }
        throw Error("Cannot write PNG file " + QuotedName(out.Target()) + ": " + job.message);
    }
    out.Commit();
}

}  // namespace vistamaze
