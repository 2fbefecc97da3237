// Damaged files must never crash the Targa, PCX, DCX and DDS readers: each real sample is
// mutated a few hundred times (fixed seed) and every decode either returns a picture of a sane
// size or throws vistamaze::Error. Anything else (another exception, a crash, a sanitizer
// report in the sanitizer build) fails.
#include "engine/Errors.h"
#include "formats/DdsReader.h"
#include "formats/PcxReader.h"
#include "formats/TgaReader.h"
#include "tests/formats/TgaPcxDdsOracle.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

using Decoder = std::function<PixelBuffer(std::span<const std::uint8_t>)>;

struct Sample {
    const char* file;
    Decoder decode;
};

class TgaPcxDdsMutation : public testing::TestWithParam<Sample> {};

TEST_P(TgaPcxDdsMutation, DamagedFilesDecodeOrThrowError) {
    const Sample s = GetParam();
    const std::vector<std::uint8_t> sample = ReadBytes(DataFile(s.file));
    MutationSource mutations(20261208);
    int decoded = 0;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        const std::vector<std::uint8_t> bytes = mutations.Mutate(sample);
        try {
            const PixelBuffer picture = s.decode(bytes);
            ASSERT_EQ(picture.BitsPerPixel(), 24);
            ASSERT_GT(picture.Width(), 0);
            ASSERT_GT(picture.Height(), 0);
            ASSERT_EQ(picture.ByteSize(), picture.Stride() * static_cast<std::size_t>(picture.Height()));
            ++decoded;
        } catch (const Error&) {
            ++refused;
        }
    }
    // The mutations must reach the refusal paths, not only flip pixel bytes.
    EXPECT_GT(refused, 0) << decoded << " decoded";
}

INSTANTIATE_TEST_SUITE_P(
    Samples, TgaPcxDdsMutation,
    testing::Values(Sample{"images/tga/gdk_gtk-logo-cmap-rle-8bpp-top-left.tga", DecodeTga},
                    Sample{"images/tga/gdk_gtk-logo-16bpp-bottom-right.tga", DecodeTga},
                    Sample{"images/tga/gdk_gtk-logo-rle-32bpp-top-right.tga", DecodeTga},
                    Sample{"images/tga/gdk_gtk-logo-gray-rle-16bpp-bottom-right.tga", DecodeTga},
                    Sample{"images/tga/gdk_gtk-logo-cmap-8bpp-bottom-left.tga", DecodeTga},
                    Sample{"images/pcx/allegro_planet_oddwidth.pcx", DecodePcx},
                    Sample{"images/pcx/openinvaders_level9bk1_24bit.pcx", DecodePcx},
                    Sample{"images/pcx/np_pcx_1bpp.pcx", DecodePcx},
                    Sample{"images/pcx/np_pcx_4bpp_planes.pcx", DecodePcx},
                    Sample{"images/pcx/pillow_p_4_planes.pcx", DecodePcx},
                    Sample{"images/pcx/im_dcx_2pages.dcx", DecodeDcx},
                    Sample{"images/dds/im_dds_dxt1.dds", DecodeDds},
                    Sample{"images/dds/allegro_mysha_dxt5.dds", DecodeDds}));

}  // namespace
}  // namespace vistamaze::test
