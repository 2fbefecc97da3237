// Format choice by extension, DPI text conversion, and what a failed save leaves behind.

#include "engine/Errors.h"
#include "output/PictureWriters.h"
#include "tests/output/WriterReadBack.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {
namespace {

using test::TempDir;

std::vector<std::string> FolderContents(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string ReadText(const std::filesystem::path& file) {
    const auto bytes = test::ReadBytes(file);
    return {bytes.begin(), bytes.end()};
}

Picture SmallStereogram() {
    return Picture(test::StereogramLike(67, 23));
}

// ---- format by extension, checked with ImageMagick's idea of what was written ----

struct ExtensionCase {
    const char* name;
    const char* magickFormat;  // "" when nothing may be written
};

class SaveByExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(SaveByExtension, WritesTheFormatTheLowerCasedExtensionSelects) {
    if (!test::ToolAvailable("identify")) {
        GTEST_SKIP() << "ImageMagick identify is not installed";
    }
    const ExtensionCase& c = GetParam();
    TempDir dir;
    const auto file = dir / c.name;
    const bool written = SavePictureByExtension(SmallStereogram(), file, 95, "72");
    const bool expected = std::string(c.magickFormat).size() != 0;
    EXPECT_EQ(written, expected);
    if (expected) {
        EXPECT_EQ(test::Identify(file, "%m"), c.magickFormat);
        EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::string>{c.name});
    } else {
        EXPECT_TRUE(FolderContents(dir.Path()).empty()) << "something was written for " << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SaveByExtension,
    ::testing::Values(ExtensionCase{"stereo.PNG", "PNG"}, ExtensionCase{"stereo.png", "PNG"},
                      ExtensionCase{"Picture.Png", "PNG"}, ExtensionCase{"stereo.Jpeg", "JPEG"},
                      ExtensionCase{"stereo.jpg", "JPEG"}, ExtensionCase{"STEREO.JPG", "JPEG"},
                      ExtensionCase{"stereo.bmp", "BMP3"}, ExtensionCase{"stereo.Tga", "TGA"},
                      ExtensionCase{"archive.bak.png", "PNG"}, ExtensionCase{".png", "PNG"},
                      ExtensionCase{"stereo.gif", ""}, ExtensionCase{"stereo.tif", ""},
                      ExtensionCase{"stereo.jpe", ""}, ExtensionCase{"stereo.png.bak", ""},
                      ExtensionCase{"stereo", ""}, ExtensionCase{"stereo.", ""},
                      ExtensionCase{"stereo. png", ""}));

TEST(SaveByExtension, ADotInAFolderNameIsNoExtension) {
    TempDir dir;
    std::filesystem::create_directory(dir / "set.png");
    EXPECT_FALSE(SavePictureByExtension(SmallStereogram(), dir / "set.png" / "stereo", 95, "72"));
    EXPECT_TRUE(FolderContents(dir / "set.png").empty());
}

// ---- DPI text ----

TEST(DpiText, IsReadAsAWholeNumberOrNotAtAll) {
    const std::vector<std::pair<std::string, std::optional<std::int32_t>>> cases = {
        {"72", 72},
        {"300", 300},
        {" 72", 72},
        {"72  ", 72},
        {"\t96\t", 96},
        {"+72", 72},
        {"-72", -72},
        {"0", 0},
        {"007", 7},
        {"$48", 72},
        {"$ff", 255},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"7 2", std::nullopt},
        {"72.0", std::nullopt},
        {"72dpi", std::nullopt},
        {"0x48", std::nullopt},
        {"$", std::nullopt},
        {"+", std::nullopt},
        {"--1", std::nullopt},
        {"$4g", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ParseWholeNumber(text), expected) << '"' << text << '"';
    }
}

TEST(DpiText, GivesPixelsPerMetreRoundedFromTheExactInchRatio) {
    EXPECT_EQ(PixelsPerMetreFromDpiText("72"), 2835U);
    EXPECT_EQ(PixelsPerMetreFromDpiText("96"), 3780U);
    EXPECT_EQ(PixelsPerMetreFromDpiText("150"), 5906U);
    EXPECT_EQ(PixelsPerMetreFromDpiText("300"), 11811U);
    // An inch is 0.0254 m exactly, so DPI / 0.0254 = DPI * 5000 / 127, which is never a tie:
    // integer rounding of that fraction is an independent oracle.
    for (std::int64_t dpi = 1; dpi <= 200000; dpi += (dpi < 5000 ? 1 : 37)) {
        const std::int64_t expected = (dpi * 10000 + 127) / 254;
        ASSERT_EQ(PixelsPerMetreFromDpiText(std::to_string(dpi)), static_cast<std::uint32_t>(expected))
            << dpi;
        if (dpi <= 65535) {
            ASSERT_EQ(DotsPerInchFromPixelsPerMetre(static_cast<std::uint32_t>(expected)), dpi);
        }
    }
}

TEST(DpiText, WithoutAUsableValueGivesNoResolution) {
    for (const char* text : {"abc", "", "0", "-72", "72.5", "60000000"}) {
        EXPECT_FALSE(PixelsPerMetreFromDpiText(text).has_value()) << text;
    }
    // The largest DPI whose value still fits a pHYs field: d * 10000 / 254 < 2^31 - 1 + 0.5.
    const std::int64_t largest = ((std::int64_t{1} << 31) * 254 - 128) / 10000;
    EXPECT_EQ(PixelsPerMetreFromDpiText(std::to_string(largest)),
              static_cast<std::uint32_t>((largest * 10000 + 127) / 254));
    EXPECT_FALSE(PixelsPerMetreFromDpiText(std::to_string(largest + 1)).has_value());
}

// ---- refused pictures ----

struct RefusalCase {
    const char* name;
    int bitsPerPixel;
    bool greyPalette;
    const char* message;
};

class RefusedPicture : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedPicture, ReportsTheWritersMessageAndKeepsTheOldFile) {
    const RefusalCase& c = GetParam();
    TempDir dir;
    const auto file = dir / c.name;
    WriteText(file, "old contents");
    PixelBuffer b = c.bitsPerPixel == 8 ? (c.greyPalette ? test::GreyRamp8(9, 5) : test::Paletted8(9, 5))
                                        : test::OtherDepth(9, 5, c.bitsPerPixel);
    try {
        SavePictureByExtension(Picture(std::move(b)), file, 95, "72");
        FAIL() << "no error for " << c.name << " at " << c.bitsPerPixel << " bits";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(ReadText(file), "old contents");
    EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::string>{c.name});
}

constexpr const char* kJpegMessage = "JPEG image must be gray scale or true color";
constexpr const char* kTgaMessage = "TARGA image must be true color or 8 bit with palette !";

INSTANTIATE_TEST_SUITE_P(Depths, RefusedPicture,
                         ::testing::Values(RefusalCase{"a.jpg", 1, false, kJpegMessage},
                                           RefusalCase{"a.jpg", 4, false, kJpegMessage},
                                           RefusalCase{"a.jpg", 8, false, kJpegMessage},
                                           RefusalCase{"a.jpg", 16, false, kJpegMessage},
                                           RefusalCase{"a.jpg", 32, false, kJpegMessage},
                                           RefusalCase{"a.tga", 1, false, kTgaMessage},
                                           RefusalCase{"a.tga", 4, false, kTgaMessage},
                                           RefusalCase{"a.tga", 16, false, kTgaMessage},
                                           RefusalCase{"a.tga", 32, false, kTgaMessage}));

TEST(RefusedPicture, AnEmptyPictureHasNoJpegOrPngButAnEmptyBmpAndTarga) {
    TempDir dir;
    const Picture empty;
    for (const char* name : {"e.jpg", "e.png"}) {
        try {
            SavePictureByExtension(empty, dir / name, 95, "72");
            FAIL() << name;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "The picture is empty");
        }
    }
    EXPECT_TRUE(SavePictureByExtension(empty, dir / "e.bmp", 95, "72"));
    EXPECT_EQ(std::filesystem::file_size(dir / "e.bmp"), 54U);
    EXPECT_TRUE(SavePictureByExtension(empty, dir / "e.tga", 95, "72"));
    EXPECT_EQ(std::filesystem::file_size(dir / "e.tga"), 18U);
    EXPECT_EQ(FolderContents(dir.Path()), (std::vector<std::string>{"e.bmp", "e.tga"}));
}

TEST(RefusedPicture, TargaCannotHoldMoreThan65535PixelsASide) {
    TempDir dir;
    try {
        SaveAsTga(Picture(PixelBuffer(65536, 1, 24)), dir / "wide.tga");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "gbm_write failed.");
    }
    EXPECT_TRUE(FolderContents(dir.Path()).empty());
}

// ---- files that cannot be written ----

class SaveFailure : public ::testing::TestWithParam<const char*> {};

TEST_P(SaveFailure, AMissingFolderNamesTheFileAndTheReason) {
    TempDir dir;
    const auto file = dir / "missing" / GetParam();
    try {
        SavePictureByExtension(SmallStereogram(), file, 95, "72");
        FAIL();
    } catch (const FileAccessError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + file.string() + "\": No such file or directory");
    }
}

TEST_P(SaveFailure, ATargetThatIsAFolderStaysAFolder) {
    TempDir dir;
    const auto target = dir / GetParam();
    std::filesystem::create_directory(target);
    WriteText(target / "inside.txt", "keep");
    EXPECT_THROW(SavePictureByExtension(SmallStereogram(), target, 95, "72"), FileAccessError);
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(ReadText(target / "inside.txt"), "keep");
    EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::string>{GetParam()});
}

TEST_P(SaveFailure, AReadOnlyFolderKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    TempDir dir;
    const auto file = dir / GetParam();
    WriteText(file, "old contents");
    std::filesystem::permissions(dir.Path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_THROW(SavePictureByExtension(SmallStereogram(), file, 95, "72"), FileAccessError);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadText(file), "old contents");
}

// A file size limit makes every write past it fail as a full disk would (EFBIG instead of
// ENOSPC); the process must ignore SIGXFSZ for the write to fail rather than kill it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

TEST_P(SaveFailure, AWriteThatRunsOutOfSpaceKeepsTheOldFile) {
    TempDir dir;
    const auto file = dir / GetParam();
    WriteText(file, "old contents");
    // Noise does not compress, so every format needs far more than the limit.
    PixelBuffer noise(300, 200, 24);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < noise.ByteSize(); ++i) {
        state = state * 1664525U + 1013904223U;
        noise.Data()[i] = static_cast<std::uint8_t>(state >> 24);
    }
    try {
        const FileSizeLimit limit(8192);
        SavePictureByExtension(Picture(std::move(noise)), file, 95, "72");
        FAIL() << "the save did not notice the failed write";
    } catch (const FileAccessError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + file.string() + "\": File too large");
    }
    EXPECT_EQ(ReadText(file), "old contents");
    EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::string>{GetParam()});
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveFailure, ::testing::Values("s.bmp", "s.jpg", "s.png", "s.tga"));

// ---- replacing existing files ----

TEST(Replacing, AnExistingFileIsReplacedWholeAndKeepsItsPermissions) {
    TempDir dir;
    const auto file = dir / "s.png";
    WriteText(file, std::string(1000000, 'x'));  // longer than the new file: no tail may remain
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    ASSERT_TRUE(SavePictureByExtension(SmallStereogram(), file, 95, "72"));
    const auto decoded = test::ReadPngWithLibpng(file);
    EXPECT_EQ(decoded.samples, test::ExpectedRgb(SmallStereogram().Bitmap()));
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::string>{"s.png"});
}

TEST(Replacing, ANewFileGetsTheUsualPermissions) {
    TempDir dir;
    const mode_t mask = ::umask(022);
    const bool written = SavePictureByExtension(SmallStereogram(), dir / "n.tga", 95, "72");
    ::umask(mask);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::filesystem::status(dir / "n.tga").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read);
}

TEST(Replacing, ASymbolicLinkIsFollowedNotReplaced) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    WriteText(dir / "real" / "s.bmp", "old");
    std::filesystem::create_symlink(dir / "real" / "s.bmp", dir / "link.bmp");
    ASSERT_TRUE(SavePictureByExtension(SmallStereogram(), dir / "link.bmp", 95, "72"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(test::ReadBytes(dir / "real" / "s.bmp").at(0), 'B');
    EXPECT_EQ(FolderContents(dir / "real"), std::vector<std::string>{"s.bmp"});
}

}  // namespace
}  // namespace vistamaze
