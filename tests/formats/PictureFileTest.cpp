// Choosing the reader by extension, file access errors, and bad input of every reader.
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "tests/formats/PictureOracle.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace vistamaze::test {
namespace {

template <typename ErrorType>
std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ErrorType& e) {
        return e.what();
    }
    ADD_FAILURE() << "expected an exception of the requested kind";
    return {};
}

TEST(PictureFile, UnregisteredExtensionIsInvalidBeforeTheFileIsOpened) {
    const TempDir temp;
    // None of these files exist: a file access error would mean the reader touched the file.
    for (const char* name : {"missing.txt", "missing.emf", "missing.wmf", "missing", "missing.png.bak"}) {
        EXPECT_THROW(ReadPictureFile(temp / name), InvalidPictureError) << name;
    }
}

TEST(PictureFile, TextFileWithTxtExtensionIsInvalid) {
    const TempDir temp;
    WriteBytes(temp / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_THROW(ReadPictureFile(temp / "notes.txt"), InvalidPictureError);
}

TEST(PictureFile, TextFileWithPictureExtensionIsInvalid) {
    const TempDir temp;
    for (const char* name : {"a.png", "a.jpg", "a.tif", "a.gif", "a.bmp", "a.ico"}) {
        WriteBytes(temp / name, std::vector<std::uint8_t>(64, 'x'));
        EXPECT_THROW(ReadPictureFile(temp / name), InvalidPictureError) << name;
    }
}

TEST(PictureFile, MissingFileIsAnAccessErrorNamingFileAndReason) {
    const TempDir temp;
    const std::filesystem::path file = temp / "gone.png";
    const std::string message = MessageOf<FileAccessError>([&] { (void)ReadPictureFile(file); });
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(ENOENT)), std::string::npos) << message;
}

TEST(PictureFile, FolderWithPictureExtensionIsAnAccessError) {
    const TempDir temp;
    std::filesystem::create_directory(temp / "folder.bmp");
    const std::string message =
        MessageOf<FileAccessError>([&] { (void)ReadPictureFile(temp / "folder.bmp"); });
    EXPECT_NE(message.find(std::strerror(EISDIR)), std::string::npos) << message;
}

TEST(PictureFile, UnreadableFileIsAnAccessError) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop the superuser";
    }
    const TempDir temp;
    std::filesystem::copy_file(DataFile("images/png/basn2c08.png"), temp / "locked.png");
    std::filesystem::permissions(temp / "locked.png", std::filesystem::perms::none);
    const std::string message =
        MessageOf<FileAccessError>([&] { (void)ReadPictureFile(temp / "locked.png"); });
    EXPECT_NE(message.find(std::strerror(EACCES)), std::string::npos) << message;
}

TEST(PictureFile, ExtensionCaseDoesNotMatter) {
    const TempDir temp;
    const Picture original = ReadPictureFile(DataFile("images/png/basn2c08.png"));
    for (const char* name : {"UPPER.PNG", "Mixed.Png"}) {
        std::filesystem::copy_file(DataFile("images/png/basn2c08.png"), temp / name);
        const Picture copy = ReadPictureFile(temp / name);
        EXPECT_EQ(copy.Bitmap(), original.Bitmap()) << name;
    }
    std::filesystem::copy_file(DataFile("images/bmp/bmpsuite_g_pal8.bmp"), temp / "X.BMP");
    EXPECT_EQ(ReadPictureFile(temp / "X.BMP").Width(), 127);
}

TEST(PictureFile, ResultIs24BitOfTheFileSize) {
    // A 1-bit palette bitmap of 127 x 64 (odd width, padded rows).
    const Picture picture = ReadPictureFile(DataFile("images/bmp/bmpsuite_g_pal1.bmp"));
    EXPECT_EQ(picture.Bitmap().BitsPerPixel(), 24);
    EXPECT_EQ(picture.Width(), 127);
    EXPECT_EQ(picture.Height(), 64);
}

TEST(PictureFile, FormatsAreListedInTheDialogOrder) {
    std::string listed;
    for (const PictureFormat& format : ReadablePictureFormats()) {
        listed += format.description + " (";
        for (const std::string& extension : format.extensions) {
            listed += extension + (&extension == &format.extensions.back() ? "" : ", ");
        }
        listed += "); ";
    }
    EXPECT_EQ(listed,
              "PNG (png); JPEG (jpeg, jpg); Truevision Targa (tga, afi, vda, icb); Truevision Vista (vst); "
              "DCX (dcx); ZSoft PC Paintbrush (pcc, pcx); TIFF (tiff, tif); GIF (gif); "
              "Windows bitmap (bmp); icon (ico); DirectDraw surface (dds); ");
}

TEST(PictureFile, EveryListedExtensionHasAReader) {
    const std::string unregistered = MessageOf<InvalidPictureError>([] { (void)DecodePicture("xyz", {}); });
    const std::string prefix = unregistered.substr(0, unregistered.find('"'));
    for (const PictureFormat& format : ReadablePictureFormats()) {
        for (const std::string& extension : format.extensions) {
            const std::vector<std::uint8_t> junk(16, 0);
            const std::string message =
                MessageOf<InvalidPictureError>([&] { (void)DecodePicture(extension, junk); });
            EXPECT_EQ(message.rfind(prefix, 0), std::string::npos) << extension << ": " << message;
        }
    }
}

}  // namespace
}  // namespace vistamaze::test
