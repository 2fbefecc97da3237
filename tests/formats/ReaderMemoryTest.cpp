// Readers in bounded memory: pictures decoded in steps (TIFF by rows, interlaced PNG by pass)
// give the same pixels as ImageMagick; files too short for the size they claim are refused
// before pixels are allocated; running out of memory is reported with the file and the size;
// libtiff's own texts never reach the user.
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "tests/formats/PictureOracle.h"
#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze::test {
namespace {

std::string MessageOfRead(const std::filesystem::path& file) {
    try {
        (void)ReadPictureFile(file);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// Pictures made by ImageMagick from one 1400 x 900 source (more than one decoding step),
// each compared with ImageMagick's decoding of the source.
struct SteppedCase {
    const char* name;
    const char* options;  // convert options that make the file from source.png
};

void PrintTo(const SteppedCase& c, std::ostream* out) {
    *out << c.name;
}

class SteppedDecoding : public ::testing::TestWithParam<SteppedCase> {};

TEST_P(SteppedDecoding, GivesTheSourcePixels) {
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const TempDir dir;
    const auto source = dir / "source.png";
    ASSERT_EQ(RunCommand("convert -size 1400x900 -seed 7 plasma:red-blue -depth 8 " + source.string()), 0);
    const auto file = dir / GetParam().name;
    ASSERT_EQ(RunCommand("convert " + source.string() + " " + GetParam().options + " " + file.string()), 0);
    const Picture picture = ReadPictureFile(file);
    const PixelBuffer expected = ImageMagickDecode(source);
    ASSERT_EQ(picture.Width(), 1400);
    ASSERT_EQ(picture.Height(), 900);
    const PixelDifference diff = ComparePixels(picture.Bitmap(), expected);
    EXPECT_EQ(diff.maxChannelDelta, 0)
        << diff.differingPixels << " pixels differ, first at " << diff.firstDifference;
}

INSTANTIATE_TEST_SUITE_P(
    Readers, SteppedDecoding,
    ::testing::Values(SteppedCase{"strips.tif", "-compress none -define tiff:rows-per-strip=7"},
                      SteppedCase{"onestrip.tif", "-compress zip -define tiff:rows-per-strip=900"},
                      SteppedCase{"tiles.tif", "-compress zip -define tiff:tile-geometry=128x64"},
                      SteppedCase{"bottomup.tif", "-flip -orient bottom-left -define tiff:rows-per-strip=5"},
                      SteppedCase{"interlaced16.png", "-depth 16 -interlace PNG"}),
    [](const auto& param) {
        std::string name = param.param.name;
        return name.substr(0, name.find('.')) + "_" + name.substr(name.find('.') + 1);
    });

TEST(SteppedDecoding, OddInterlacedSizeMatchesImageMagick) {
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const TempDir dir;
    const auto file = dir / "odd.png";
    // 16-bit RGBA with varying alpha, sides that leave some Adam7 passes short or empty.
    for (const char* size : {"1x1", "3x5", "9x2", "333x17"}) {
        ASSERT_EQ(RunCommand(std::string("convert -size ") + size + " gradient:red-blue \\( -size " + size +
                             " gradient:white-black \\) -alpha off -compose CopyOpacity -composite -depth 16"
                             " -interlace PNG " +
                             file.string()),
                  0);
        const PixelDifference diff = ComparePixels(ReadPictureFile(file).Bitmap(), ImageMagickDecode(file));
        EXPECT_LE(diff.maxChannelDelta, 1) << size << ": first difference at " << diff.firstDifference;
    }
}

// Subsampled JPEG colour in one strip is decoded in steps that start inside the strip.
TEST(SteppedDecoding, JpegTiffInOneStripMatchesImageMagick) {
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const TempDir dir;
    const auto file = dir / "jpeg.tif";
    ASSERT_EQ(
        RunCommand("convert -size 1500x1100 -seed 3 plasma:green-yellow -sampling-factor 2x2 -compress jpeg"
                   " -define tiff:rows-per-strip=1100 " +
                   file.string()),
        0);
    const PixelBuffer expected = ImageMagickDecode(file);
    ASSERT_EQ(expected.Width(), 1500);
    const PixelDifference diff = ComparePixels(ReadPictureFile(file).Bitmap(), expected);
    EXPECT_LE(diff.maxChannelDelta, 2)
        << diff.differingPixels << " pixels differ, first at " << diff.firstDifference;
}

// Damaged TIFF files get our words and the file name; libtiff's texts stay inside.
TEST(TiffMessages, NameTheFileAndHideLibtiffTexts) {
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const TempDir dir;
    const auto whole = dir / "whole.tif";
    ASSERT_EQ(
        RunCommand("convert -size 300x200 gradient:red-blue -compress zip -define tiff:rows-per-strip=16 " +
                   whole.string()),
        0);
    std::vector<std::uint8_t> bytes = ReadBytes(whole);
    // ImageMagick puts the directory at the end: damage the compressed strips in between.
    for (std::size_t i = 16; i < bytes.size() / 2; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 131);
    }
    const auto damaged = dir / "damaged.tif";
    WriteBytes(damaged, bytes);
    const std::string message = MessageOfRead(damaged);
    EXPECT_EQ(message,
              "Invalid TIFF file: the picture data cannot be decoded (\"" + damaged.string() + "\")");
}

// Header values that promise more pixels than the data can hold, within the size limit.
TEST(ShortData, IsRefusedWithTheSizeAndTheBytesNeeded) {
    const TempDir dir;
    // A 4000 x 3000 8-bit run-length bitmap whose data is one end-of-bitmap code.
    std::vector<std::uint8_t> bmp{'B', 'M',  0,    0, 0, 0,    0,    0, 0, 0, 62, 0, 0, 0, 40, 0, 0,
                                  0,   0xA0, 0x0F, 0, 0, 0xB8, 0x0B, 0, 0, 1, 0,  8, 0, 1, 0,  0, 0};
    bmp.resize(54, 0);
    bmp.insert(bmp.end(), {0, 0, 0, 0, 255, 255, 255, 0, 0, 1});
    const auto file = dir / "short.bmp";
    WriteBytes(file, bmp);
    EXPECT_EQ(MessageOfRead(file),
              "Invalid BMP file: 4000 x 3000 pixels need at least 94118 bytes of picture data, the file "
              "holds 2 (\"" +
                  file.string() + "\")");
}

// Runs ReadPictureFile in a child whose address space is too small for the picture and returns
// the message it got.
[[maybe_unused]] std::string MessageUnderMemoryLimit(const std::filesystem::path& file, rlim_t limitBytes) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "pipe failed";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const rlimit limit{limitBytes, limitBytes};
        setrlimit(RLIMIT_AS, &limit);
        std::string message = "no error";
        try {
            (void)ReadPictureFile(file);
        } catch (const std::exception& e) {
            message = e.what();
        }
        (void)!write(fds[1], message.data(), message.size());
        _exit(0);
    }
    close(fds[1]);
    std::string message;
    char chunk[256];
    for (ssize_t got = 0; (got = read(fds[0], chunk, sizeof chunk)) > 0;) {
        message.append(chunk, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return message;
}

TEST(OutOfMemory, NamesTheFileAndThePictureSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    if (!ImageMagickAvailable()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    const TempDir dir;
    for (const char* name : {"big.png", "big.gif", "big.jpg", "big.tif"}) {
        const auto file = dir / name;
        ASSERT_EQ(RunCommand("convert -size 6000x4000 xc:gray50 -type Grayscale -depth 8 -compress zip " +
                             file.string()),
                  0);
        rusage self{};
        getrusage(RUSAGE_SELF, &self);
        // What the test program has mapped already, plus 40 MiB: less than the 72 MB picture.
        std::string status;
        RunCommand("awk '/VmSize/ {print $2}' /proc/" + std::to_string(getpid()) + "/status", &status);
        const rlim_t mapped = std::stoull(status) * 1024;
        EXPECT_EQ(MessageUnderMemoryLimit(file, mapped + (rlim_t{40} << 20)),
                  "Not enough memory to read \"" + file.string() + "\": the picture is 6000 x 4000 pixels");
    }
#endif
}

}  // namespace
}  // namespace vistamaze::test
