// A quick, repeatable stand-in for fuzzing: each sample file is damaged a few hundred times
// (bytes flipped, overwritten, cut off) and every reader must either return a sound 24-bit
// picture or throw vistamaze::Error. Crashes and other exceptions fail the test.
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

// A 32-bit linear congruential generator (Numerical Recipes constants): the same damage on
// every machine.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ = state_ * 1664525U + 1013904223U;
        return state_ >> 8;
    }
    std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : Next() % bound; }

private:
    std::uint32_t state_;
};

std::vector<std::uint8_t> Mutate(const std::vector<std::uint8_t>& original, Lcg& random) {
    std::vector<std::uint8_t> bytes = original;
    switch (random.Below(4)) {
        case 0:  // flip a few bits, mostly near the headers
            for (std::size_t i = 0, n = 1 + random.Below(4); i < n; ++i) {
                const std::size_t span =
                    random.Below(2) == 0 ? std::min<std::size_t>(bytes.size(), 128) : bytes.size();
                bytes[random.Below(span)] ^= static_cast<std::uint8_t>(1U << random.Below(8));
            }
            break;
        case 1:  // overwrite bytes with extreme values
            for (std::size_t i = 0, n = 1 + random.Below(8); i < n; ++i) {
                bytes[random.Below(bytes.size())] = random.Below(2) == 0 ? 0xFF : 0x00;
            }
            break;
        case 2:  // cut the file short
            bytes.resize(random.Below(bytes.size()));
            break;
        default:  // overwrite a run with random bytes
            for (std::size_t i = random.Below(bytes.size()), n = random.Below(32); i < bytes.size() && n > 0;
                 ++i, --n) {
                bytes[i] = static_cast<std::uint8_t>(random.Next());
            }
            break;
    }
    return bytes;
}

struct MutationCase {
    const char* file;
    const char* extension;
};

void PrintTo(const MutationCase& c, std::ostream* out) {
    *out << c.file;
}

class Mutation : public ::testing::TestWithParam<MutationCase> {};

TEST_P(Mutation, ReaderReturnsOrThrowsError) {
    constexpr int kRounds = 300;
    const std::vector<std::uint8_t> original = ReadBytes(DataFile(std::string("images/") + GetParam().file));
    Lcg random(0x5EED1234U ^ static_cast<std::uint32_t>(original.size()));
    int accepted = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<std::uint8_t> bytes = Mutate(original, random);
        try {
            const PixelBuffer picture = DecodePicture(GetParam().extension, bytes);
            ASSERT_EQ(picture.BitsPerPixel(), 24) << "round " << round;
            ASSERT_FALSE(picture.Empty()) << "round " << round;
            ASSERT_EQ(picture.ByteSize(), picture.Stride() * static_cast<std::size_t>(picture.Height()));
            ++accepted;
        } catch (const Error&) {
        }
    }
    RecordProperty("accepted", accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, Mutation,
    ::testing::Values(
        MutationCase{"bmp/bmpsuite_g_pal1.bmp", "bmp"}, MutationCase{"bmp/bmpsuite_g_pal4rle.bmp", "bmp"},
        MutationCase{"bmp/bmpsuite_g_pal8rle.bmp", "bmp"}, MutationCase{"bmp/bmpsuite_g_pal8os2.bmp", "bmp"},
        MutationCase{"bmp/bmpsuite_g_rgb16-565.bmp", "bmp"}, MutationCase{"bmp/bmpsuite_g_pal8v5.bmp", "bmp"},
        MutationCase{"png/basn3p02.png", "png"}, MutationCase{"png/basi6a08.png", "png"},
        MutationCase{"png/basn4a16.png", "png"}, MutationCase{"jpeg/wx_horse.jpg", "jpg"},
        MutationCase{"jpeg/irrlicht_stones.jpg", "jpg"}, MutationCase{"tiff/go_bw-packbits.tiff", "tif"},
        MutationCase{"tiff/go_video-001-paletted.tiff", "tif"}, MutationCase{"tiff/im_tiff_lzw.tif", "tif"},
        MutationCase{"gif/gdk_gifsuite_interlace.gif", "gif"}, MutationCase{"gif/im_gif87.gif", "gif"},
        MutationCase{"ico/wx_horse.ico", "ico"}, MutationCase{"ico/nsis_arrow-install.ico", "ico"},
        MutationCase{"ico/nsis_nsis3-install.ico", "ico"}));

}  // namespace
}  // namespace vistamaze::test
