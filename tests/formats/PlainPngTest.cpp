// The fast decoder of common PNG files: the pixels ImageMagick reads from files libpng wrote with
// each filter, and a hand-off to libpng for every file it must not take.
#include "formats/PictureFile.h"
#include "formats/PlainPngDecoder.h"
#include "tests/formats/PictureOracle.h"
#include "tests/support/LibpngWriter.h"
#include "tests/support/TestSupport.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

namespace vistamaze::test {
namespace {

// A PNG written by libpng with one filter (or all, chosen per row) and IDAT chunks of at most
// 300 bytes; the samples vary in every channel so that every filter has work to do.
std::vector<std::uint8_t> FilteredFile(int width, int height, int colourType, int filters) {
    return LibpngFile(
        width, height, colourType,
        [](int x, int y, int c) {
            return static_cast<std::uint8_t>(((x * 37 + y * 11 + c * 71) ^ (x * y)) + (x / 5) * 40);
        },
        filters, 300);
}

TEST(PlainPng, DecodesEveryFilterAndLayoutAsImageMagickDoes) {
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const TempDir dir;
    struct Size {
        int width;
        int height;
    };
    for (const int colourType :
         {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA}) {
        for (const int filters : {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                                  PNG_FILTER_PAETH, PNG_ALL_FILTERS}) {
            for (const Size size : {Size{37, 9}, Size{1, 1}, Size{2, 700}}) {
                const std::string name = "ct" + std::to_string(colourType) + "-f" + std::to_string(filters) +
                                         "-" + std::to_string(size.width) + "x" + std::to_string(size.height);
                const std::vector<std::uint8_t> bytes =
                    FilteredFile(size.width, size.height, colourType, filters);
                WriteBytes(dir / (name + ".png"), bytes);
                ASSERT_TRUE(DecodePlainPng(bytes).has_value()) << name;
                const PixelBuffer expected = ImageMagickDecode(dir / (name + ".png"));
                ASSERT_FALSE(expected.Empty()) << name;
                const PixelDifference diff =
                    ComparePixels(ReadPictureFile(dir / (name + ".png")).Bitmap(), expected);
                // ImageMagick rounds alpha drawn over black down where the readers round to nearest.
                EXPECT_LE(diff.maxChannelDelta, (colourType & PNG_COLOR_MASK_ALPHA) != 0 ? 1 : 0)
                    << name << ": " << diff.differingPixels << " pixels differ, first at "
                    << diff.firstDifference;
            }
        }
    }
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

std::vector<Chunk> Chunks(const std::vector<std::uint8_t>& file) {
    std::vector<Chunk> chunks;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
        const std::size_t length = (std::size_t{file[pos]} << 24) | (std::size_t{file[pos + 1]} << 16) |
                                   (std::size_t{file[pos + 2]} << 8) | file[pos + 3];
        const auto* start = file.data() + pos;
        chunks.push_back({std::string(start + 4, start + 8), {start + 8, start + 8 + length}});
        pos += 12 + length;
    }
    return chunks;
}

std::vector<std::uint8_t> File(const std::vector<Chunk>& chunks) {
    std::vector<std::uint8_t> file = {137, 80, 78, 71, 13, 10, 26, 10};
    for (const Chunk& chunk : chunks) {
        Put32Be(file, static_cast<std::uint32_t>(chunk.data.size()));
        file.insert(file.end(), chunk.type.begin(), chunk.type.end());
        file.insert(file.end(), chunk.data.begin(), chunk.data.end());
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.type.data()), 4);
        if (!chunk.data.empty()) {  // zlib restarts the CRC for a null buffer
            crc = crc32(crc, chunk.data.data(), static_cast<uInt>(chunk.data.size()));
        }
        Put32Be(file, static_cast<std::uint32_t>(crc));
    }
    return file;
}

// The file's chunks with all image data in one IDAT, after `edit` changes the zlib stream.
std::vector<Chunk> WithStream(std::vector<Chunk> chunks,
                              const std::function<void(std::vector<std::uint8_t>&)>& edit) {
    std::vector<std::uint8_t> stream;
    std::vector<Chunk> others;
    for (Chunk& c : chunks) {
        if (c.type == "IDAT") {
            stream.insert(stream.end(), c.data.begin(), c.data.end());
        } else {
            others.push_back(std::move(c));
        }
    }
    edit(stream);
    others.insert(others.end() - 1, Chunk{"IDAT", stream});
    return others;
}

TEST(PlainPng, LeavesToLibpngEveryFileItMustNotTake) {
    const std::vector<Chunk> good = Chunks(FilteredFile(16, 8, PNG_COLOR_TYPE_RGB, PNG_ALL_FILTERS));
    ASSERT_GT(good.size(), 3U);  // IHDR, several IDAT, IEND
    ASSERT_TRUE(DecodePlainPng(File(good)).has_value());
    const auto insertBefore = [&good](const std::string& type, Chunk chunk) {
        std::vector<Chunk> chunks = good;
        for (auto it = chunks.begin(); it != chunks.end(); ++it) {
            if (it->type == type) {
                chunks.insert(it, std::move(chunk));
                break;
            }
        }
        return File(chunks);
    };
    std::vector<std::uint8_t> badCrc = File(good);
    badCrc[8 + 25 + 8] ^= 1U;  // the first IDAT's first byte
    std::vector<Chunk> interlaced = good;
    interlaced[0].data[12] = 1;
    std::vector<Chunk> apart = good;
    apart.insert(apart.end() - 2, Chunk{"tEXt", {'a', 0, 'b'}});
    std::vector<Chunk> twoPalettes = good;
    twoPalettes.insert(twoPalettes.begin() + 1, 2, Chunk{"PLTE", {0, 0, 0}});
    std::vector<Chunk> sixteenBits = good;
    sixteenBits[0].data[8] = 16;
    const struct {
        const char* what;
        std::vector<std::uint8_t> file;
    } cases[] = {
        {"a damaged CRC", badCrc},
        {"interlacing", File(interlaced)},
        {"16-bit samples", File(sixteenBits)},
        {"a second palette", File(twoPalettes)},
        {"a tRNS chunk", insertBefore("IDAT", Chunk{"tRNS", {0, 1, 0, 2, 0, 3}})},
        {"an unknown critical chunk", insertBefore("IDAT", Chunk{"ABCD", {1, 2}})},
        {"IDAT chunks apart", File(apart)},
        {"a wrong Adler-32", File(WithStream(good, [](auto& s) { s.back() ^= 1U; }))},
        {"a stream cut short", File(WithStream(good, [](auto& s) { s.resize(s.size() / 2); }))},
        {"data after the stream", File(WithStream(good, [](auto& s) { s.push_back(0); }))},
        {"an unknown filter",
         File(WithStream(good,
                         [](auto& s) {
                             std::vector<std::uint8_t> raw(8 * (1 + 16 * 3));
                             uLongf size = raw.size();
                             ASSERT_EQ(uncompress(raw.data(), &size, s.data(), s.size()), Z_OK);
                             raw[1 + 16 * 3] = 5;  // the second row's filter
                             s.resize(compressBound(raw.size()));
                             uLongf packed = s.size();
                             ASSERT_EQ(compress(s.data(), &packed, raw.data(), raw.size()), Z_OK);
                             s.resize(packed);
                         }))},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DecodePlainPng(c.file).has_value()) << c.what;
    }
}

}  // namespace
}  // namespace vistamaze::test
