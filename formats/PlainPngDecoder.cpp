#include "formats/PlainPngDecoder.h"

#include "formats/ImageLimits.h"
#include "formats/PixelCompositing.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vistamaze {

namespace {

constexpr std::size_t kChunkOverhead = 12;             // length, type, CRC
constexpr std::uint32_t kMaxChunkLength = 0x7fffffff;  // larger lengths are invalid
constexpr std::size_t kBatchBytes = 64 * 1024;         // filtered rows inflated at a time

std::uint32_t BigEndian32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool IsChunk(const std::uint8_t* type, const char* name) noexcept {
    return std::memcmp(type, name, 4) == 0;
}

struct PlainLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 0;  // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA; 8 bits each
    std::vector<std::span<const std::uint8_t>> idat;
    std::uint64_t idatBytes = 0;
};

// Channels of an 8-bit, non-interlaced picture of IHDR `data`; 0 when this decoder does not take it.
int PlainChannels(const std::uint8_t* data) noexcept {
    const std::uint8_t bitDepth = data[8];
    const std::uint8_t colourType = data[9];
    if (bitDepth != 8 || data[10] != 0 || data[11] != 0 || data[12] != 0) {
        return 0;  // compression, filter method and interlacing must be the plain ones
    }
    switch (colourType) {
        case 0:
            return 1;
        case 4:
            return 2;
        case 2:
            return 3;
        case 6:
            return 4;
        default:
            return 0;
    }
}

// Walks the chunks, checking what libpng would reject; false on anything this decoder leaves to it.
bool ReadLayout(std::span<const std::uint8_t> bytes, PlainLayout& layout) {
    std::size_t pos = 8;
    bool idatEnded = false;
    bool palette = false;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < kChunkOverhead) {
            return false;
        }
        const std::uint32_t length = BigEndian32(bytes.data() + pos);
        if (length > kMaxChunkLength || bytes.size() - pos - kChunkOverhead < length) {
            return false;
        }
        const std::uint8_t* type = bytes.data() + pos + 4;
        const std::uint8_t* data = type + 4;
        if (!std::all_of(type, type + 4,
                         [](std::uint8_t c) { return (c | 0x20U) >= 'a' && (c | 0x20U) <= 'z'; })) {
            return false;
        }
        const bool critical = (type[0] & 0x20U) == 0;
        if (critical && crc32_gzip_refl(0, type, length + 4) != BigEndian32(data + length)) {
            return false;
        }
        const bool first = pos == 8;
        pos += kChunkOverhead + length;
        if (first != IsChunk(type, "IHDR")) {
            return false;  // IHDR comes first, and once
        }
        if (first) {
            if (length != 13) {
                return false;
            }
            layout.width = BigEndian32(data);
            layout.height = BigEndian32(data + 4);
            layout.channels = PlainChannels(data);
            // libpng's own limits decide, with its messages, about sizes beyond ours.
            if (layout.channels == 0 || layout.width == 0 || layout.height == 0 ||
                layout.width > kMaxPictureSide || layout.height > kMaxPictureSide) {
                return false;
            }
        } else if (IsChunk(type, "IDAT")) {
            if (idatEnded) {
                return false;
            }
            layout.idat.emplace_back(data, length);
            layout.idatBytes += length;
        } else {
            idatEnded = !layout.idat.empty();
            if (IsChunk(type, "IEND")) {
                break;
            }
            // One palette may suggest colours to RGB viewers before the image data; grey pictures
            // have none. Transparency chunks and other critical chunks need libpng.
            const bool firstPalette =
                IsChunk(type, "PLTE") && !palette && layout.channels >= 3 && layout.idat.empty();
            if ((critical && !firstPalette) || IsChunk(type, "tRNS")) {
                return false;
            }
            palette = palette || firstPalette;
        }
    }
    if (layout.idat.empty() || layout.idat.front().size() < 2) {
        return false;
    }
    // A zlib header of deflate with a window of at most 32 KiB and no preset dictionary.
    const std::uint8_t cmf = layout.idat.front()[0];
    const std::uint8_t flg = layout.idat.front()[1];
    return (cmf & 0x0fU) == 8 && (cmf >> 4) <= 7 && (flg & 0x20U) == 0 && ((cmf << 8) | flg) % 31 == 0;
}

int Paeth(int a, int b, int c) noexcept {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) {
        return a;
    }
    return pb <= pc ? b : c;
}

#if defined(__SSE2__)
// Four bytes, widened to 16 bits: a pixel of three or four channels, and for three a byte past
// it, which must be readable and is ignored.
__m128i LoadPixel(const std::uint8_t* p) noexcept {
    std::int32_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

__m128i Abs16(__m128i v) noexcept {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

__m128i Select(__m128i mask, __m128i yes, __m128i no) noexcept {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// The Paeth filter undone a pixel at a time, its channels side by side in 16-bit lanes: the
// pixels depend on one another, the channels do not. Reads a byte past the end of both rows.
template <std::size_t Bpp>
void UnpaethPixels(std::uint8_t* row, const std::uint8_t* up, std::size_t length) noexcept {
    __m128i a = _mm_setzero_si128();  // left, unfiltered
    __m128i c = _mm_setzero_si128();  // above left
    const __m128i lowByte = _mm_set1_epi16(0xff);
    for (std::size_t i = 0; i < length; i += Bpp) {
        const __m128i b = LoadPixel(up + i);
        const __m128i pa = _mm_sub_epi16(b, c);  // p - a, where p = a + b - c
        const __m128i pb = _mm_sub_epi16(a, c);  // p - b
        const __m128i da = Abs16(pa);
        const __m128i db = Abs16(pb);
        const __m128i dc = Abs16(_mm_add_epi16(pa, pb));  // p - c
        const __m128i least = _mm_min_epi16(da, _mm_min_epi16(db, dc));
        // Ties go to a, then to b.
        const __m128i nearest =
            Select(_mm_cmpeq_epi16(least, da), a, Select(_mm_cmpeq_epi16(least, db), b, c));
        a = _mm_and_si128(_mm_add_epi16(nearest, LoadPixel(row + i)), lowByte);
        const auto packed = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(a, a)));
        std::memcpy(row + i, &packed, Bpp);
        c = b;
    }
}
#endif

// Undoes the filter of row `cur` (its filter byte first) against the unfiltered row `prev`.
bool Unfilter(std::uint8_t* cur, const std::uint8_t* prev, std::size_t length, std::size_t bpp) noexcept {
    const std::uint8_t filter = cur[0];
    std::uint8_t* row = cur + 1;
    const std::uint8_t* up = prev + 1;
    switch (filter) {
        case 0:
            return true;
        case 1:
            for (std::size_t i = bpp; i < length; ++i) {
                row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
            }
            return true;
        case 2:
            for (std::size_t i = 0; i < length; ++i) {
                row[i] = static_cast<std::uint8_t>(row[i] + up[i]);
            }
            return true;
        case 3:
            for (std::size_t i = 0; i < bpp; ++i) {
                row[i] = static_cast<std::uint8_t>(row[i] + (up[i] >> 1));
            }
            for (std::size_t i = bpp; i < length; ++i) {
                row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + up[i]) >> 1));
            }
            return true;
        case 4:
#if defined(__SSE2__)
            if (bpp == 3) {
                UnpaethPixels<3>(row, up, length);
                return true;
            }
            if (bpp == 4) {
                UnpaethPixels<4>(row, up, length);
                return true;
            }
#endif
            for (std::size_t i = 0; i < bpp; ++i) {
                row[i] = static_cast<std::uint8_t>(row[i] + up[i]);
            }
            for (std::size_t i = bpp; i < length; ++i) {
                row[i] = static_cast<std::uint8_t>(row[i] + Paeth(row[i - bpp], up[i], up[i - bpp]));
            }
            return true;
        default:
            return false;
    }
}

// One unfiltered row of `width` pixels of `channels` samples into BGR pixels.
void ToBgr(const std::uint8_t* src, std::uint32_t width, int channels, std::uint8_t* dest) noexcept {
    switch (channels) {
        case 1:
            for (std::uint32_t x = 0; x < width; ++x, dest += 3) {
                dest[0] = dest[1] = dest[2] = src[x];
            }
            break;
        case 2:
            for (std::uint32_t x = 0; x < width; ++x, dest += 3, src += 2) {
                dest[0] = dest[1] = dest[2] = CompositeOverBlack(src[0], src[1]);
            }
            break;
        case 3:
            for (std::uint32_t x = 0; x < width; ++x, dest += 3, src += 3) {
                dest[0] = src[2];
                dest[1] = src[1];
                dest[2] = src[0];
            }
            break;
        default:
            for (std::uint32_t x = 0; x < width; ++x, dest += 3, src += 4) {
                dest[0] = CompositeOverBlack(src[2], src[3]);
                dest[1] = CompositeOverBlack(src[1], src[3]);
                dest[2] = CompositeOverBlack(src[0], src[3]);
            }
            break;
    }
}

// ISA-L's inflate over the IDAT chunks, one after the other.
class IdatInflater {
public:
    explicit IdatInflater(const std::vector<std::span<const std::uint8_t>>& idat)
        : idat_(idat), state_(std::make_unique<inflate_state>()) {
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_ZLIB;
    }

    // Fills `size` bytes; false when the stream ends first or is damaged.
    bool Fill(std::uint8_t* out, std::size_t size) {
        state_->next_out = out;
        state_->avail_out = static_cast<std::uint32_t>(size);
        while (state_->avail_out > 0) {
            if (!Step()) {
                return false;
            }
            if (state_->block_state == ISAL_BLOCK_FINISH && state_->avail_out > 0) {
                return false;
            }
        }
        return true;
    }

    // True when the stream ends here, its checksum verified, with no data after it.
    bool EndsCleanly() {
        std::array<std::uint8_t, 1> extra{};
        while (state_->block_state != ISAL_BLOCK_FINISH) {
            state_->next_out = extra.data();
            state_->avail_out = static_cast<std::uint32_t>(extra.size());
            if (!Step() || state_->avail_out == 0) {
                return false;
            }
        }
        // ISA-L may have buffered input past the stream's end: whole bytes left there are extra data.
        if (state_->avail_in != 0 || state_->read_in_length >= 8) {
            return false;
        }
        return std::all_of(idat_.begin() + static_cast<std::ptrdiff_t>(next_), idat_.end(),
                           [](std::span<const std::uint8_t> chunk) { return chunk.empty(); });
    }

private:
    // One call of isal_inflate, fed with the next chunk when the last one is used up.
    bool Step() {
        if (state_->avail_in == 0) {
            if (next_ == idat_.size()) {
                return false;
            }
            const std::span<const std::uint8_t> chunk = idat_[next_++];
            state_->next_in = const_cast<std::uint8_t*>(chunk.data());  // ISA-L only reads the input
            state_->avail_in = static_cast<std::uint32_t>(chunk.size());
        }
        const std::uint32_t inBefore = state_->avail_in;
        const std::uint32_t outBefore = state_->avail_out;
        if (isal_inflate(state_.get()) != ISAL_DECOMP_OK) {
            return false;
        }
        // Room and input both left without the stream ending would mean no progress at all.
        return state_->block_state == ISAL_BLOCK_FINISH || state_->avail_in == 0 || state_->avail_out == 0 ||
               state_->avail_in != inBefore || state_->avail_out != outBefore;
    }

    const std::vector<std::span<const std::uint8_t>>& idat_;
    std::unique_ptr<inflate_state> state_;
    std::size_t next_ = 0;
};

}  // namespace

std::optional<PixelBuffer> DecodePlainPng(std::span<const std::uint8_t> bytes) {
    PlainLayout layout;
    if (bytes.size() < 8 || !ReadLayout(bytes, layout)) {
        return std::nullopt;
    }
    CheckPictureSize(layout.width, layout.height);
    const auto channels = static_cast<std::size_t>(layout.channels);
    CheckPictureData("PNG", layout.width, layout.height, layout.idatBytes,
                     std::uint64_t{layout.width} * layout.height * channels / 1032);

    const std::size_t rowLength = 1 + std::size_t{layout.width} * channels;
    const std::size_t batchRows = std::clamp<std::size_t>(kBatchBytes / rowLength, 1, layout.height);
    // The row above the batch, unfiltered, then the batch; the row above the first is zero.
    // Unfiltering reads a byte past the last row.
    std::vector<std::uint8_t> rows(rowLength * (batchRows + 1) + 1);
    IdatInflater inflater(layout.idat);
    PixelBuffer out = AllocatePicture(layout.width, layout.height);
    for (std::uint32_t first = 0; first < layout.height;) {
        const auto count =
            static_cast<std::uint32_t>(std::min<std::size_t>(batchRows, layout.height - first));
        std::uint8_t* batch = rows.data() + rowLength;
        if (!inflater.Fill(batch, count * rowLength)) {
            return std::nullopt;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* row = batch + i * rowLength;
            if (!Unfilter(row, row - rowLength, rowLength - 1, channels)) {
                return std::nullopt;
            }
            ToBgr(row + 1, layout.width, layout.channels,
                  out.Row(static_cast<int>(layout.height - 1 - first - i)));
        }
        std::memcpy(rows.data(), batch + (count - 1) * rowLength, rowLength);
        first += count;
    }
    if (!inflater.EndsCleanly()) {
        return std::nullopt;
    }
    return out;
}

}  // namespace vistamaze
