#include "formats/JpegReader.h"

#include "engine/Errors.h"
#include "formats/ExifOrientation.h"
#include "formats/ImageLimits.h"

#include <csetjmp>
#include <cstdio>
#include <utility>
// clang-format off: jpeglib.h needs size_t and FILE declared first
#include <jerror.h>
#include <jpeglib.h>
// clang-format on

#include <memory>
#include <string>
#include <vector>

namespace vistamaze {

namespace {

// Working memory libjpeg may take beyond the output picture (progressive coefficients): enough
// for the largest picture with subsampled colour; more is refused as a memory error.
constexpr long kMaxJpegWorkMemory = 128L << 20;
constexpr int kMaxProgressiveScans = 1000;

// The decompressor and what its callbacks touch. Trivially destructible, so a longjmp may
// cross it; the owner below releases libjpeg's memory.
struct JpegState {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errorManager;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool truncated;
};

JpegState& StateOf(j_common_ptr cinfo) {
    return *static_cast<JpegState*>(cinfo->client_data);
}

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
    JpegState& state = StateOf(cinfo);
    (*cinfo->err->format_message)(cinfo, state.message);
    std::longjmp(state.jump, 1);
}

// Warnings are ignored, except the one that says the data ended early.
void OnJpegMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        StateOf(cinfo).truncated = true;
    }
}

void OnJpegProgress(j_common_ptr cinfo) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > kMaxProgressiveScans) {
        JpegState& state = StateOf(cinfo);
        std::snprintf(state.message, sizeof state.message, "too many progressive scans");
        std::longjmp(state.jump, 1);
    }
}

class JpegDecompressor {
public:
    JpegDecompressor() : state_(std::make_unique<JpegState>()) {}
    ~JpegDecompressor() { jpeg_destroy_decompress(&state_->cinfo); }
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;
    [[nodiscard]] JpegState& State() noexcept { return *state_; }

private:
    std::unique_ptr<JpegState> state_;
};

// The two functions below hold the setjmp targets; their locals are all trivial.
bool ReadJpegHeader(JpegState* s, const std::uint8_t* data, std::size_t size) {
    s->cinfo.err = jpeg_std_error(&s->errorManager);
    s->errorManager.error_exit = OnJpegError;
    s->errorManager.emit_message = OnJpegMessage;
    s->cinfo.client_data = s;
    if (setjmp(s->jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&s->cinfo);
    s->cinfo.client_data = s;
    s->cinfo.mem->max_memory_to_use = kMaxJpegWorkMemory;
    s->progress.progress_monitor = OnJpegProgress;
    s->cinfo.progress = &s->progress;
    jpeg_mem_src(&s->cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&s->cinfo, TRUE);
    const J_COLOR_SPACE in = s->cinfo.jpeg_color_space;
    s->cinfo.out_color_space = (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&s->cinfo);
    return true;
}

// Converts a CMYK row to BGR; Adobe writes the inks inverted (255 = no ink).
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x) {
        const std::uint8_t* p = cmyk + 4 * static_cast<std::size_t>(x);
        const unsigned k = inverted ? p[3] : 255U - p[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? p[c] : 255U - p[c];
            bgr[3 * static_cast<std::size_t>(x) + static_cast<std::size_t>(2 - c)] =
                static_cast<std::uint8_t>((ink * k + 127U) / 255U);
        }
    }
}

bool ReadJpegRows(JpegState* s, std::uint8_t* const* rows, std::uint8_t* cmykRow) {
    if (setjmp(s->jump) != 0) {
        return false;
    }
    jpeg_start_decompress(&s->cinfo);
    while (s->cinfo.output_scanline < s->cinfo.output_height) {
        const JDIMENSION y = s->cinfo.output_scanline;
        JSAMPROW row = cmykRow != nullptr ? cmykRow : rows[y];
        if (jpeg_read_scanlines(&s->cinfo, &row, 1) != 1) {
            break;
        }
        if (cmykRow != nullptr) {
            CmykRowToBgr(cmykRow, rows[y], s->cinfo.output_width, s->cinfo.saw_Adobe_marker != 0);
        }
        if (s->truncated) {  // the rest would be made up: stop at once
            jpeg_abort_decompress(&s->cinfo);
            return true;
        }
    }
    jpeg_finish_decompress(&s->cinfo);
    return true;
}

// Huffman coding spends at least one bit on every 8 x 8 block of every component (its DC
// difference), so the data after the scan header must hold a bit per block. Arithmetic coding
// has no such floor.
void CheckScanData(const jpeg_decompress_struct& cinfo) {
    if (cinfo.arith_code != 0) {
        return;
    }
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo.num_components; ++i) {
        blocks += std::uint64_t{cinfo.comp_info[i].width_in_blocks} * cinfo.comp_info[i].height_in_blocks;
    }
    CheckPictureData("JPEG", cinfo.image_width, cinfo.image_height, cinfo.src->bytes_in_buffer, blocks / 8);
}

}  // namespace

PixelBuffer DecodeJpeg(std::span<const std::uint8_t> bytes) {
    JpegDecompressor decompressor;
    JpegState& s = decompressor.State();
    if (!ReadJpegHeader(&s, bytes.data(), bytes.size())) {
        throw InvalidPictureError(std::string("Invalid JPEG file: ") + s.message);
    }
    CheckPictureSize(s.cinfo.output_width, s.cinfo.output_height);
    CheckScanData(s.cinfo);
    int orientation = 1;
    for (jpeg_saved_marker_ptr marker = s.cinfo.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1) {
            orientation = ExifOrientation({marker->data, marker->data_length});
            if (orientation != 1) {
                break;
            }
        }
    }
    const int width = static_cast<int>(s.cinfo.output_width);
    const int height = static_cast<int>(s.cinfo.output_height);
    PixelBuffer out = AllocatePicture(width, height);
    std::vector<std::uint8_t*> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[static_cast<std::size_t>(y)] = out.Row(height - 1 - y);
    }
    std::vector<std::uint8_t> cmykRow;
    if (s.cinfo.out_color_space == JCS_CMYK) {
        cmykRow.resize(4 * static_cast<std::size_t>(width));
    }
    if (!ReadJpegRows(&s, rows.data(), cmykRow.empty() ? nullptr : cmykRow.data())) {
        const int code = s.cinfo.err->msg_code;
        if (code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE) {
            throw PictureMemoryError(width, height);
        }
        throw InvalidPictureError(std::string("Invalid JPEG file: ") + s.message);
    }
    if (s.truncated) {
        throw InvalidPictureError("The JPEG file is truncated");
    }
    // Cameras store a portrait photo on its side and say how to turn it: shown as meant.
    return ApplyExifOrientation(std::move(out), orientation);
}

}  // namespace vistamaze
