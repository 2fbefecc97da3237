#include "output/JpegWriter.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "output/PictureResolution.h"
#include "output/ReplacingFile.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace vistamaze {

namespace {

constexpr std::size_t kOutputBufferSize = std::size_t{64} * 1024;
constexpr std::uint32_t kMaxDensity = 65535;

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct JpegDestination {
    jpeg_destination_mgr pub;
    ReplacingFile* out;
    JOCTET* buffer;
};

// Everything libjpeg and its callbacks touch. Trivially destructible, because libjpeg leaves
// them and EncodeJpeg with longjmp.
struct JpegJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    JpegDestination destination;
    const PixelBuffer* bitmap;
    JSAMPLE* rgbRow;  // used only when the library cannot take blue, green, red input itself
    bool grey;
    int quality;
    unsigned density;  // 0: no density
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

void OnJpegMessage(j_common_ptr /*cinfo*/) {}  // warnings are not shown to the user

[[noreturn]] void FailWrite(j_compress_ptr cinfo) {
    cinfo->err->msg_code = JERR_FILE_WRITE;
    OnJpegError(reinterpret_cast<j_common_ptr>(cinfo));
}

void OnInitDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<JpegDestination*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kOutputBufferSize;
}

boolean OnEmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<JpegDestination*>(cinfo->dest);
    // libjpeg's contract: the whole buffer is to be written, whatever free_in_buffer says.
    if (!d->out->TryWrite(d->buffer, kOutputBufferSize)) {
        FailWrite(cinfo);
    }
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kOutputBufferSize;
    return TRUE;
}

void OnTermDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<JpegDestination*>(cinfo->dest);
    if (!d->out->TryWrite(d->buffer, kOutputBufferSize - d->pub.free_in_buffer)) {
        FailWrite(cinfo);
    }
}

JSAMPROW InputRow(JpegJob* job, int topDownIndex) {
    const PixelBuffer& bitmap = *job->bitmap;
    auto* row = const_cast<JSAMPLE*>(bitmap.Row(bitmap.Height() - 1 - topDownIndex));
#ifdef JCS_EXTENSIONS
    return row;  // libjpeg only reads input rows
#else
    for (int x = 0; x < bitmap.Width(); ++x) {
        job->rgbRow[3 * x] = row[3 * x + 2];
        job->rgbRow[3 * x + 1] = row[3 * x + 1];
        job->rgbRow[3 * x + 2] = row[3 * x];
    }
    return job->grey ? row : job->rgbRow;
#endif
}

// The only function libjpeg may leave by longjmp: its locals are trivially destructible.
// Returns false when libjpeg reported an error (its text is in job->error.message).
bool EncodeJpeg(JpegJob* job) {
    if (setjmp(job->error.jump) != 0) {
        return false;
    }
    j_compress_ptr cinfo = &job->cinfo;
    jpeg_create_compress(cinfo);
    cinfo->dest = &job->destination.pub;
    cinfo->image_width = static_cast<JDIMENSION>(job->bitmap->Width());
    cinfo->image_height = static_cast<JDIMENSION>(job->bitmap->Height());
    cinfo->input_components = job->grey ? 1 : 3;
#ifdef JCS_EXTENSIONS
    cinfo->in_color_space = job->grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
#else
    cinfo->in_color_space = job->grey ? JCS_GRAYSCALE : JCS_RGB;
#endif
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    cinfo->optimize_coding = FALSE;
    cinfo->density_unit = job->density != 0 ? 1 : 0;
    cinfo->X_density = static_cast<UINT16>(job->density != 0 ? job->density : 1);
    cinfo->Y_density = cinfo->X_density;
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = InputRow(job, static_cast<int>(cinfo->next_scanline));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

class JpegJobGuard {
public:
    explicit JpegJobGuard(JpegJob& job) : job_(job) {}
    ~JpegJobGuard() { jpeg_destroy_compress(&job_.cinfo); }
    JpegJobGuard(const JpegJobGuard&) = delete;
    JpegJobGuard& operator=(const JpegJobGuard&) = delete;

private:
    JpegJob& job_;
};

unsigned DensityFor(std::string_view dpiText) {
    const auto perMetre = PixelsPerMetreFromDpiText(dpiText);
    if (!perMetre) {
        return 0;
    }
    const std::uint32_t dpi = DotsPerInchFromPixelsPerMetre(*perMetre);
    return dpi <= kMaxDensity ? dpi : 0;
}

}  // namespace

bool IsGreyRamp8Bit(const PixelBuffer& bitmap) noexcept {
    const auto& palette = bitmap.Palette();
    if (bitmap.BitsPerPixel() != 8 || palette.size() != 256) {
        return false;
    }
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        if (palette[i] != Bgr{v, v, v}) {
            return false;
        }
    }
    return true;
}

void SaveAsJpeg(const Picture& picture, const std::filesystem::path& file, int quality,
                std::string_view dpiText) {
    const PixelBuffer& bitmap = picture.Bitmap();
    const bool grey = IsGreyRamp8Bit(bitmap);
    if (bitmap.BitsPerPixel() != 24 && !grey) {
        throw Error("JPEG image must be gray scale or true color");
    }
    if (!picture.HasImage()) {
        throw Error("The picture is empty");
    }
    std::vector<JOCTET> buffer(kOutputBufferSize);
    std::vector<JSAMPLE> rgbRow;
#ifndef JCS_EXTENSIONS
    rgbRow.resize(static_cast<std::size_t>(bitmap.Width()) * 3);
#endif
    ReplacingFile out(file);

    JpegJob job{};
    job.cinfo.err = jpeg_std_error(&job.error.pub);
    job.error.pub.error_exit = OnJpegError;
    job.error.pub.output_message = OnJpegMessage;
    job.destination.pub.init_destination = OnInitDestination;
    job.destination.pub.empty_output_buffer = OnEmptyOutputBuffer;
    job.destination.pub.term_destination = OnTermDestination;
    job.destination.out = &out;
    job.destination.buffer = buffer.data();
    job.bitmap = &bitmap;
    job.rgbRow = rgbRow.data();
    job.grey = grey;
    job.quality = std::clamp(quality, 1, 100);
    job.density = DensityFor(dpiText);

    const JpegJobGuard guard(job);
    if (!EncodeJpeg(&job)) {
        if (out.WriteFailed()) {
            out.ThrowWriteError();
        }
        throw Error("Cannot write JPEG file " + QuotedName(out.Target()) + ": " + job.error.message);
    }
    out.Commit();
}

}  // namespace vistamaze
