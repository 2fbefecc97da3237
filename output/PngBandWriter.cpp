#include "output/PngBandWriter.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "output/ReplacingFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <isa-l/igzip_lib.h>
#include <zlib.h>

namespace vistamaze {

namespace {

constexpr std::size_t kBandBytes = 256 * 1024;
constexpr int kMaxThreads = 16;
constexpr std::uint32_t kFileGamma = 50000;  // 0.5

void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t Crc(std::uint32_t crc, const void* data, std::size_t size) {
    if (size == 0) {
        return crc;  // zlib answers a null buffer with the initial value instead
    }
    return static_cast<std::uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), size));
}

// A PNG filter applied to one row of blue-green-red pixels, giving the filter type byte and the
// filtered red-green-blue bytes. `prev` is the row above as it is stored (zeros for the first).
template <PngFilter F>
void FilterRow(const std::uint8_t* cur, const std::uint8_t* prev, int width, std::uint8_t* out) {
    constexpr std::array<std::uint8_t, 6> kType = {4, 0, 1, 2, 3, 4};
    out[0] = kType[static_cast<std::size_t>(F)];
    std::uint8_t* o = out + 1;
    for (int x = 0; x < width; ++x) {
        const std::size_t p = static_cast<std::size_t>(x) * 3;
        for (std::size_t c = 0; c < 3; ++c) {
            const std::size_t s = p + 2 - c;  // the blue-green-red byte of RGB channel c
            const int v = cur[s];
            const int up = prev[s];
            const int left = x > 0 ? cur[s - 3] : 0;
            const int upLeft = x > 0 ? prev[s - 3] : 0;
            int predictor = 0;
            if constexpr (F == PngFilter::Sub) {
                predictor = left;
            } else if constexpr (F == PngFilter::Up) {
                predictor = up;
            } else if constexpr (F == PngFilter::Average) {
                predictor = (left + up) / 2;
            } else if constexpr (F == PngFilter::Paeth) {
                const int estimate = left + up - upLeft;
                const int toLeft = std::abs(estimate - left);
                const int toUp = std::abs(estimate - up);
                const int toUpLeft = std::abs(estimate - upLeft);
                predictor = (toLeft <= toUp && toLeft <= toUpLeft) ? left : (toUp <= toUpLeft ? up : upLeft);
            }
            o[p + c] = static_cast<std::uint8_t>(v - predictor);
        }
    }
}

using RowFilter = void (*)(const std::uint8_t*, const std::uint8_t*, int, std::uint8_t*);

RowFilter FilterFor(PngFilter filter) {
    switch (filter) {
        case PngFilter::None:
            return FilterRow<PngFilter::None>;
        case PngFilter::Sub:
            return FilterRow<PngFilter::Sub>;
        case PngFilter::Up:
            return FilterRow<PngFilter::Up>;
        case PngFilter::Average:
            return FilterRow<PngFilter::Average>;
        case PngFilter::Paeth:
            return FilterRow<PngFilter::Paeth>;
        case PngFilter::Adaptive:
            break;
    }
    throw Error("the adaptive filter is not available when compressing in bands");
}

// Compressed bytes of one band, in a buffer that grows without zero-filling.
class ByteSink {
public:
    explicit ByteSink(std::size_t capacity)
        : data_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)), capacity_(capacity) {}

    [[nodiscard]] const std::uint8_t* Data() const noexcept { return data_.get(); }
    [[nodiscard]] std::size_t Size() const noexcept { return size_; }
    [[nodiscard]] std::uint8_t* End() noexcept { return data_.get() + size_; }
    [[nodiscard]] std::size_t Room() const noexcept { return capacity_ - size_; }
    void Advance(std::size_t n) noexcept { size_ += n; }
    void Grow() {
        const std::size_t capacity = capacity_ * 2;
        auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
        std::memcpy(data.get(), data_.get(), size_);
        data_ = std::move(data);
        capacity_ = capacity;
    }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// Compresses one band at a time into raw deflate data (no zlib header or trailer) that starts
// with an empty window and ends on a byte boundary: a sync flush, or the final block for the last
// band. One per thread, reused for its bands.
class BandDeflater {
public:
    virtual ~BandDeflater() = default;
    virtual void Compress(const std::uint8_t* data, std::size_t size, bool last, ByteSink& sink) = 0;
};

// zlib at the given level.
class ZlibDeflater final : public BandDeflater {
public:
    explicit ZlibDeflater(int level) {
        const int rc = deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK) {
            throw Error(zError(rc));
        }
    }
    ~ZlibDeflater() override { deflateEnd(&z_); }
    ZlibDeflater(const ZlibDeflater&) = delete;
    ZlibDeflater& operator=(const ZlibDeflater&) = delete;

    void Compress(const std::uint8_t* data, std::size_t size, bool last, ByteSink& sink) override {
        if (deflateReset(&z_) != Z_OK) {
            throw Error("deflateReset failed");
        }
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        z_.next_in = const_cast<Bytef*>(data);  // zlib's interface is not const-correct; it only reads
        z_.avail_in = static_cast<uInt>(size);
        for (;;) {
            if (sink.Room() < 64) {
                sink.Grow();
            }
            const auto room = static_cast<uInt>(std::min<std::size_t>(sink.Room(), 1U << 30));
            z_.next_out = sink.End();
            z_.avail_out = room;
            const int rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) {
                throw Error(z_.msg != nullptr ? z_.msg : "deflate failed");
            }
            sink.Advance(room - z_.avail_out);
            const bool finished = last ? rc == Z_STREAM_END : z_.avail_out != 0;
            if (finished && z_.avail_in == 0) {
                return;
            }
        }
    }

private:
    z_stream z_{};
};

// ISA-L's deflate at its level 3: on stereograms about three times as fast as zlib's level 1,
// with files no larger (1.00 MB from zlib, 0.95 MB from ISA-L for a 1920 x 1080 render).
class IsalDeflater final : public BandDeflater {
public:
    IsalDeflater() : levelBuffer_(std::make_unique_for_overwrite<std::uint8_t[]>(ISAL_DEF_LVL3_DEFAULT)) {
        isal_deflate_init(&z_);
        z_.level = 3;
        z_.level_buf = levelBuffer_.get();
        z_.level_buf_size = ISAL_DEF_LVL3_DEFAULT;
        z_.gzip_flag = IGZIP_DEFLATE;
    }
    IsalDeflater(const IsalDeflater&) = delete;
    IsalDeflater& operator=(const IsalDeflater&) = delete;

    void Compress(const std::uint8_t* data, std::size_t size, bool last, ByteSink& sink) override {
        isal_deflate_reset(&z_);
        z_.flush = last ? NO_FLUSH : SYNC_FLUSH;
        z_.end_of_stream = last ? 1 : 0;
        z_.next_in = const_cast<std::uint8_t*>(data);  // ISA-L only reads the input
        z_.avail_in = static_cast<std::uint32_t>(size);
        for (;;) {
            if (sink.Room() < 64) {
                sink.Grow();
            }
            const auto room = static_cast<std::uint32_t>(std::min<std::size_t>(sink.Room(), 1U << 30));
            z_.next_out = sink.End();
            z_.avail_out = room;
            const int rc = isal_deflate(&z_);
            if (rc != COMP_OK) {
                throw Error("isal_deflate failed (" + std::to_string(rc) + ")");
            }
            sink.Advance(room - z_.avail_out);
            // A sync flush is complete once output room is left over (as with zlib) or the next
            // block has not begun; the last band once the stream has ended.
            const bool finished = last ? z_.internal_state.state == ZSTATE_END
                                       : z_.avail_out != 0 || z_.internal_state.state == ZSTATE_NEW_HDR;
            if (finished && z_.avail_in == 0) {
                return;
            }
        }
    }

private:
    std::unique_ptr<std::uint8_t[]> levelBuffer_;  // ISA-L's working memory, which it initialises
    isal_zstream z_{};
};

// ISA-L for zlib's fast levels 1 to 3, zlib for the others (0: stored; 4 to 9: smaller files).
std::unique_ptr<BandDeflater> MakeDeflater(int level) {
    if (level >= 1 && level <= 3) {
        return std::make_unique<IsalDeflater>();
    }
    return std::make_unique<ZlibDeflater>(level);
}

// One band of rows, counted from the top of the picture.
struct Band {
    int firstRow = 0;
    int rows = 0;
    std::optional<ByteSink> compressed;
    std::uint32_t adler = 1;  // of the filtered bytes
    std::uint32_t crc = 0;    // of the compressed bytes
    std::exception_ptr error;
    std::atomic<bool> done{false};
};

// What one thread needs to compress bands.
struct BandScratch {
    std::unique_ptr<BandDeflater> deflater;
    std::unique_ptr<std::uint8_t[]> filtered;  // the band's rows, filtered; every byte is written
    std::size_t filteredSize = 0;
};

class BandEncoder {
public:
    BandEncoder(const PixelBuffer& bitmap, const PngOptions& options)
        : bitmap_(bitmap),
          level_(std::clamp(options.level, 0, 9)),
          filter_(FilterFor(options.filter)),
          rowBytes_(static_cast<std::size_t>(bitmap.Width()) * 3 + 1),
          zeroRow_(rowBytes_) {
        const int rowsPerBand = static_cast<int>(std::max<std::size_t>(1, kBandBytes / rowBytes_));
        const int height = bitmap.Height();
        bands_ = std::vector<Band>(static_cast<std::size_t>((height + rowsPerBand - 1) / rowsPerBand));
        for (std::size_t i = 0; i < bands_.size(); ++i) {
            bands_[i].firstRow = static_cast<int>(i) * rowsPerBand;
            bands_[i].rows = std::min(rowsPerBand, height - bands_[i].firstRow);
        }
    }

    [[nodiscard]] std::size_t BandCount() const noexcept { return bands_.size(); }

    // Compresses the next unclaimed band; false when none is left.
    bool ClaimAndEncode(BandScratch& scratch) {
        const std::size_t index = next_.fetch_add(1, std::memory_order_relaxed);
        if (index >= bands_.size() || stop_.load(std::memory_order_relaxed)) {
            return false;
        }
        Band& band = bands_[index];
        try {
            Encode(band, index + 1 == bands_.size(), scratch);
        } catch (...) {
            band.error = std::current_exception();
        }
        band.done.store(true, std::memory_order_release);
        band.done.notify_all();
        return true;
    }

    // Waits for band `index`, compressing other bands meanwhile; rethrows its failure.
    Band& Finished(std::size_t index, BandScratch& scratch) {
        Band& band = bands_[index];
        while (!band.done.load(std::memory_order_acquire)) {
            if (!ClaimAndEncode(scratch)) {
                band.done.wait(false, std::memory_order_acquire);
            }
        }
        if (band.error) {
            std::rethrow_exception(band.error);
        }
        return band;
    }

    void Stop() noexcept { stop_.store(true, std::memory_order_relaxed); }

    // The Adler-32 of all filtered bytes, once every band is finished.
    [[nodiscard]] std::uint32_t StreamAdler() const {
        uLong adler = adler32(0, nullptr, 0);
        for (const Band& band : bands_) {
            const auto length = static_cast<z_off_t>(static_cast<std::size_t>(band.rows) * rowBytes_);
            adler = adler32_combine(adler, band.adler, length);
        }
        return static_cast<std::uint32_t>(adler);
    }

private:
    // Row `top` counted from the top of the picture, as the pixel buffer stores it.
    [[nodiscard]] const std::uint8_t* TopDownRow(int top) const {
        return bitmap_.Row(bitmap_.Height() - 1 - top);
    }

    void Encode(Band& band, bool last, BandScratch& scratch) {
        if (!scratch.deflater) {
            scratch.deflater = MakeDeflater(level_);
        }
        const std::size_t raw = static_cast<std::size_t>(band.rows) * rowBytes_;
        if (scratch.filteredSize < raw) {
            scratch.filtered = std::make_unique_for_overwrite<std::uint8_t[]>(raw);
            scratch.filteredSize = raw;
        }
        std::uint8_t* filtered = scratch.filtered.get();
        for (int top = band.firstRow; top < band.firstRow + band.rows; ++top) {
            const std::uint8_t* above = top == 0 ? zeroRow_.data() : TopDownRow(top - 1);
            filter_(TopDownRow(top), above, bitmap_.Width(),
                    filtered + static_cast<std::size_t>(top - band.firstRow) * rowBytes_);
        }
        band.adler = isal_adler32(1, filtered, raw);
        band.compressed.emplace(raw / 2 + 1024);
        scratch.deflater->Compress(filtered, raw, last, *band.compressed);
        band.crc = Crc(0, band.compressed->Data(), band.compressed->Size());
    }

    const PixelBuffer& bitmap_;
    int level_;
    RowFilter filter_;
    std::size_t rowBytes_;
    std::vector<std::uint8_t> zeroRow_;
    std::vector<Band> bands_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
};

void WriteChunk(ReplacingFile& out, const char* type, const std::uint8_t* data, std::uint32_t size) {
    std::array<std::uint8_t, 8> head{};
    PutBigEndian32(head.data(), size);
    std::memcpy(head.data() + 4, type, 4);
    std::array<std::uint8_t, 4> tail{};
    PutBigEndian32(tail.data(), Crc(Crc(0, type, 4), data, size));
    out.Write(head.data(), head.size());
    out.Write(data, size);
    out.Write(tail.data(), tail.size());
}

void WriteHeaderChunks(ReplacingFile& out, const PixelBuffer& bitmap, std::uint32_t pixelsPerMetre) {
    static constexpr std::array<std::uint8_t, 8> kSignature = {137, 80, 78, 71, 13, 10, 26, 10};
    out.Write(kSignature.data(), kSignature.size());
    std::array<std::uint8_t, 13> ihdr{};
    PutBigEndian32(ihdr.data(), static_cast<std::uint32_t>(bitmap.Width()));
    PutBigEndian32(ihdr.data() + 4, static_cast<std::uint32_t>(bitmap.Height()));
    ihdr[8] = 8;  // bits per sample
    ihdr[9] = 2;  // colour type RGB; compression, filter method and interlacing stay 0
    WriteChunk(out, "IHDR", ihdr.data(), ihdr.size());
    std::array<std::uint8_t, 4> gama{};
    PutBigEndian32(gama.data(), kFileGamma);
    WriteChunk(out, "gAMA", gama.data(), gama.size());
    if (pixelsPerMetre != 0) {
        std::array<std::uint8_t, 9> phys{};
        PutBigEndian32(phys.data(), pixelsPerMetre);
        PutBigEndian32(phys.data() + 4, pixelsPerMetre);
        phys[8] = 1;  // unit: metre
        WriteChunk(out, "pHYs", phys.data(), phys.size());
    }
}

// The zlib header a one-shot deflate at this level writes: 32 KiB window, the level's class.
std::array<std::uint8_t, 2> ZlibHeader(int level) {
    const unsigned levelClass = level < 2 ? 0U : (level < 6 ? 1U : (level == 6 ? 2U : 3U));
    unsigned header = (0x78U << 8) | (levelClass << 6);
    header += 31 - header % 31;
    return {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
}

// Writes band `index` as one IDAT chunk; the first carries the zlib header, the last the
// stream's Adler-32.
void WriteBand(ReplacingFile& out, const BandEncoder& encoder, const Band& band, std::size_t index,
               int level) {
    const ByteSink& data = *band.compressed;
    const std::array<std::uint8_t, 2> header = ZlibHeader(level);
    std::array<std::uint8_t, 4> trailer{};
    const std::size_t headerSize = index == 0 ? header.size() : 0;
    const std::size_t trailerSize = index + 1 == encoder.BandCount() ? trailer.size() : 0;
    if (trailerSize != 0) {
        PutBigEndian32(trailer.data(), encoder.StreamAdler());
    }
    const std::size_t length = headerSize + data.Size() + trailerSize;
    std::array<std::uint8_t, 8> head{};
    PutBigEndian32(head.data(), static_cast<std::uint32_t>(length));
    std::memcpy(head.data() + 4, "IDAT", 4);
    auto crc = static_cast<uLong>(Crc(Crc(0, "IDAT", 4), header.data(), headerSize));
    crc = crc32_combine(crc, band.crc, static_cast<z_off_t>(data.Size()));
    std::array<std::uint8_t, 4> tail{};
    PutBigEndian32(tail.data(), Crc(static_cast<std::uint32_t>(crc), trailer.data(), trailerSize));
    out.Write(head.data(), head.size());
    out.Write(header.data(), headerSize);
    out.Write(data.Data(), data.Size());
    out.Write(trailer.data(), trailerSize);
    out.Write(tail.data(), tail.size());
}

int ThreadsFor(int requested, std::size_t bands) {
    const int threads = requested == 0 ? static_cast<int>(std::thread::hardware_concurrency()) : requested;
    return std::clamp(threads, 1, static_cast<int>(std::min<std::size_t>(bands, kMaxThreads)));
}

void EncodeAndWrite(ReplacingFile& out, BandEncoder& encoder, int threads, int level) {
    std::vector<std::jthread> workers;
    struct StopWorkers {
        BandEncoder& encoder;
        ~StopWorkers() { encoder.Stop(); }
    };
    for (int t = 1; t < threads; ++t) {
        workers.emplace_back([&encoder] {
            BandScratch scratch;
            while (encoder.ClaimAndEncode(scratch)) {
            }
        });
    }
    // Declared after the workers: on the way out it stops them before they are joined.
    const StopWorkers stopWorkers{encoder};
    BandScratch scratch;
    for (std::size_t i = 0; i < encoder.BandCount(); ++i) {
        Band& band = encoder.Finished(i, scratch);
        WriteBand(out, encoder, band, i, level);
        band.compressed.reset();
    }
}

}  // namespace

void SaveAsPngInBands(const PixelBuffer& bitmap, const std::filesystem::path& file,
                      std::uint32_t pixelsPerMetre, const PngOptions& options) {
    const std::string failure = "Cannot write PNG file " + QuotedName(file) + ": ";
    if (bitmap.BitsPerPixel() != 24 || bitmap.Width() < 1 || bitmap.Height() < 1) {
        throw Error(failure + "the picture must be 24-bit and not empty");
    }
    std::optional<BandEncoder> encoder;
    try {
        encoder.emplace(bitmap, options);
    } catch (const Error& e) {
        throw Error(failure + e.what());
    }
    ReplacingFile out(file);
    WriteHeaderChunks(out, bitmap, pixelsPerMetre);
    const int level = std::clamp(options.level, 0, 9);
    try {
        EncodeAndWrite(out, *encoder, ThreadsFor(options.threads, encoder->BandCount()), level);
    } catch (const FileAccessError&) {
        throw;
    } catch (const Error& e) {
        throw Error(failure + e.what());
    }
    WriteChunk(out, "IEND", nullptr, 0);
    out.Commit();
}

}  // namespace vistamaze
