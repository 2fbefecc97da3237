// Files reach the Targa, PCX, DCX and DDS readers through ReadPictureFile by their extension,
// whatever its case.
#include "formats/DdsReader.h"
#include "formats/PcxReader.h"
#include "formats/PictureFile.h"
#include "formats/TgaReader.h"
#include "tests/support/TestSupport.h"

#include <string>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

TEST(TgaPcxDdsDispatch, ExtensionsChooseTheirReaders) {
    struct Case {
        const char* sample;
        const char* saveAs;
        PixelBuffer (*decode)(std::span<const std::uint8_t>);
    };
    TempDir dir;
    for (const Case& c : {Case{"images/tga/gdk_gtk-logo-rle-32bpp-top-right.tga", "a.TGA", DecodeTga},
                          Case{"images/tga/gdk_gtk-logo-cmap-8bpp-bottom-left.tga", "b.afi", DecodeTga},
                          Case{"images/tga/gdk_gtk-logo-cmap-8bpp-bottom-left.tga", "b.VDA", DecodeTga},
                          Case{"images/tga/gdk_gtk-logo-rle-32bpp-top-right.tga", "b.icb", DecodeTga},
                          Case{"images/tga/im_vista_24_rle.vst", "c.Vst", DecodeTga},
                          Case{"images/pcx/allegro_planet_oddwidth.pcx", "d.pcx", DecodePcx},
                          Case{"images/pcx/np_pcx_1bpp.pcx", "e.PCC", DecodePcx},
                          Case{"images/pcx/im_dcx_2pages.dcx", "f.dcx", DecodeDcx},
                          Case{"images/dds/im_dds_dxt1.dds", "g.DDS", DecodeDds}}) {
        const std::vector<std::uint8_t> bytes = ReadBytes(DataFile(c.sample));
        WriteBytes(dir / c.saveAs, bytes);
        const Picture picture = ReadPictureFile(dir / c.saveAs);
        ASSERT_TRUE(picture.HasImage()) << c.saveAs;
        EXPECT_EQ(picture.Bitmap().To24Bit(), c.decode(bytes)) << c.saveAs;
    }
}

}  // namespace
}  // namespace vistamaze::test
