// Small files that claim huge pictures: the renderer refuses each with one line naming the file,
// never crashes, and its peak memory stays under 256 MiB. A 6000 x 4000 depth map still renders.
#include "formats/PictureFile.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

extern char** environ;

namespace vistamaze::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr long kMemoryBudgetKiB = 256L * 1024;

void Append(Bytes& b, std::initializer_list<std::uint8_t> bytes) {
    b.insert(b.end(), bytes);
}

// `raw` as one zlib stream at the best compression, as a PNG's IDAT holds it.
Bytes Deflated(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(size);
    return packed;
}

// A 40-byte info header of an 8-bit picture with a grey palette of two entries.
Bytes Rle8Dib(std::uint32_t width, std::uint32_t height) {
    Bytes b;
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, 8);
    Put32(b, 1);  // RLE8
    for (int i = 0; i < 3; ++i) {
        Put32(b, 0);
    }
    Put32(b, 2);
    Put32(b, 0);
    Append(b, {0, 0, 0, 0, 255, 255, 255, 0});
    for (int i = 0; i < 100; ++i) {  // runs of 255 white pixels, then the end of the bitmap
        Append(b, {255, 1});
    }
    Append(b, {0, 1});
    return b;
}

Bytes RleBmp(std::uint32_t side) {
    const Bytes dib = Rle8Dib(side, side);
    Bytes b{'B', 'M'};
    Put32(b, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(b, 0);
    Put32(b, 14 + 48);
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

Bytes RleIco(std::uint32_t side) {
    const Bytes dib = Rle8Dib(side, side * 2);  // colour image and mask
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, 1);
    Append(b, {0, 0, 0, 0});
    Put16(b, 1);
    Put16(b, 8);
    Put32(b, static_cast<std::uint32_t>(dib.size()));
    Put32(b, 22);
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

Bytes RleTga(std::uint32_t side) {
    Bytes b{0, 0, 11, 0, 0, 0, 0, 0};  // run-length grey
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, side);
    Put16(b, side);
    Append(b, {8, 0});
    for (int i = 0; i < 100; ++i) {
        Append(b, {0xFF, 200});
    }
    return b;
}

Bytes RlePcx(std::uint32_t side) {
    Bytes b{10, 5, 1, 8};
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, side - 1);
    Put16(b, side - 1);
    b.resize(65, 0);
    b.push_back(1);
    Put16(b, side);
    b.resize(128, 0);
    for (int i = 0; i < 100; ++i) {
        Append(b, {0xFF, 200});
    }
    return b;
}

Bytes ScreenGif(std::uint32_t side) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, side);
    Put16(b, side);
    Append(b, {0x80, 0, 0, 0, 0, 0, 255, 255, 255, ','});
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, 1);
    Append(b, {0, 2, 2, 0x4C, 0x01, 0, ';'});  // one pixel of colour 1
    return b;
}

void PngChunk(Bytes& b, const char* type, const Bytes& data) {
    Put32Be(b, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    Put32Be(b, static_cast<std::uint32_t>(crc32(0, b.data() + start, static_cast<uInt>(b.size() - start))));
}

// Interlaced 16-bit RGBA; the data is real deflate of the first 4 MiB of zero rows.
Bytes InterlacedPng(std::uint32_t side) {
    Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32Be(header, side);
    Put32Be(header, side);
    Append(header, {16, 6, 0, 0, 1});
    PngChunk(b, "IHDR", header);
    PngChunk(b, "IDAT", Deflated(Bytes(std::size_t{4} << 20, 0)));
    PngChunk(b, "IEND", {});
    return b;
}

// A 100 x 20000 grey picture: scaled to the stereogram's width it is 200 times taller.
Bytes TallPng() {
    Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32Be(header, 100);
    Put32Be(header, 20000);
    Append(header, {8, 0, 0, 0, 0});
    PngChunk(b, "IHDR", header);
    Bytes rows;
    for (int y = 0; y < 20000; ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), 100, static_cast<std::uint8_t>(y / 100));
    }
    PngChunk(b, "IDAT", Deflated(rows));
    PngChunk(b, "IEND", {});
    return b;
}

// One 8-bit grey strip said to hold the whole picture: 138 bytes.
Bytes ShortTiff(std::uint32_t side) {
    Bytes b{'I', 'I'};
    Put16(b, 42);
    Put32(b, 8);
    const std::array<std::array<std::uint32_t, 3>, 10> entries{{{256, 4, side},
                                                                {257, 4, side},
                                                                {258, 3, 8},
                                                                {259, 3, 1},
                                                                {262, 3, 1},
                                                                {273, 4, 134},
                                                                {277, 3, 1},
                                                                {278, 4, side},
                                                                {279, 4, side * side},
                                                                {284, 3, 1}}};
    Put16(b, static_cast<std::uint32_t>(entries.size()));
    for (const auto& [tag, type, value] : entries) {
        Put16(b, tag);
        Put16(b, type);
        Put32(b, 1);
        Put32(b, value);
    }
    Put32(b, 0);
    Append(b, {1, 2, 3, 4});
    return b;
}

// Start of image, quantisation and Huffman tables, a frame and a scan header; no data.
Bytes HeaderOnlyJpeg(std::uint32_t side) {
    Bytes b{0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    b.insert(b.end(), 64, 1);
    Append(b, {0xFF, 0xC4, 0, 20, 0x00, 1});  // DC table: one 1-bit code
    b.insert(b.end(), 15, 0);
    b.push_back(0);
    Append(b, {0xFF, 0xC4, 0, 20, 0x10, 1});  // AC table: end of block
    b.insert(b.end(), 15, 0);
    b.push_back(0);
    Append(b, {0xFF, 0xC0, 0, 11, 8, static_cast<std::uint8_t>(side >> 8), static_cast<std::uint8_t>(side),
               static_cast<std::uint8_t>(side >> 8), static_cast<std::uint8_t>(side), 1, 1, 0x11, 0});
    Append(b, {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
    return b;
}

struct ChildRun {
    int status = -1;
    long peakKiB = 0;
    std::string output;
};

// Runs the renderer with stdout and stderr in a file and reads its peak resident size.
ChildRun RunRenderer(const std::vector<std::string>& args, const std::filesystem::path& log) {
    std::vector<std::string> all{VM_RENDERER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    ChildRun run;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return run;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.peakKiB = usage.ru_maxrss;
    }
    const Bytes text = ReadBytes(log);
    run.output.assign(text.begin(), text.end());
    return run;
}

struct HostileFile {
    const char* name;
    Bytes (*build)(std::uint32_t);
    std::uint32_t side;
};

TEST(HostileFiles, AreRefusedWithAMessageWithinTheMemoryBudget) {
    const std::array<HostileFile, 14> files{{
        {"screen.gif", ScreenGif, 16384},
        {"screen-in-limit.gif", ScreenGif, 4800},
        {"rle.bmp", RleBmp, 16384},
        {"rle-in-limit.bmp", RleBmp, 5000},
        {"rle.ico", RleIco, 16384},
        {"rle.tga", RleTga, 16384},
        {"rle-in-limit.tga", RleTga, 5000},
        {"rle.pcx", RlePcx, 16384},
        {"interlaced.png", InterlacedPng, 16384},
        {"interlaced-in-limit.png", InterlacedPng, 5000},
        {"short.tif", ShortTiff, 16384},
        {"short-in-limit.tif", ShortTiff, 5000},
        {"header.jpg", HeaderOnlyJpeg, 16384},
        {"header-in-limit.jpg", HeaderOnlyJpeg, 5000},
    }};
    const TempDir dir;
    for (const HostileFile& f : files) {
        const Bytes bytes = f.build(f.side);
        ASSERT_LT(bytes.size(), std::size_t{64} << 10) << f.name;
        const auto input = dir / f.name;
        WriteBytes(input, bytes);
        const ChildRun run = RunRenderer({input.string(), "-o", (dir / "out.png").string()}, dir / "log.txt");
        // A 4800 x 4800 screen around one pixel is a valid picture and renders.
        if (std::string(f.name) == "screen-in-limit.gif") {
            EXPECT_EQ(run.status, 0) << run.output;
        } else {
            EXPECT_EQ(run.status, 1) << f.name << ": " << run.output;
            EXPECT_NE(run.output.find(input.string()), std::string::npos) << f.name << ": " << run.output;
            EXPECT_EQ(run.output.find("bad_alloc"), std::string::npos) << run.output;
            EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        }
        EXPECT_LT(run.peakKiB, kMemoryBudgetKiB) << f.name << " took " << run.peakKiB << " KiB";
    }
}

TEST(HostileFiles, TallNarrowDepthMapRendersWithinTheBudget) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory counts in the resident size";
#endif
    const TempDir dir;
    const auto map = dir / "tall.png";
    const Bytes bytes = TallPng();
    ASSERT_LT(bytes.size(), std::size_t{64} << 10);
    WriteBytes(map, bytes);
    const auto used = dir / "used.png";
    const ChildRun run = RunRenderer(
        {map.string(), "--depth-out", used.string(), "-o", (dir / "out.png").string()}, dir / "log.txt");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_LT(run.peakKiB, kMemoryBudgetKiB) << run.peakKiB << " KiB";
    const Picture usedMap = ReadPictureFile(used.string());
    const Picture output = ReadPictureFile((dir / "out.png").string());
    EXPECT_EQ(usedMap.Width(), output.Width());
    EXPECT_EQ(usedMap.Height(), output.Height());
}

TEST(HostileFiles, LargestOutputFromALargeDepthMapStaysWithinTheBudget) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory counts in the resident size";
#endif
    if (!ToolAvailable("convert")) {
        GTEST_SKIP() << "ImageMagick convert is not installed";
    }
    const TempDir dir;
    const auto map = dir / "large.png";
    ASSERT_EQ(
        RunCommand("convert -size 6000x4000 gradient:white-black -depth 8 -type Grayscale " + map.string()),
        0);
    const ChildRun run = RunRenderer(
        {map.string(), "-W", "6000", "-H", "4000", "-o", (dir / "out.bmp").string()}, dir / "log.txt");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_LT(run.peakKiB, kMemoryBudgetKiB) << run.peakKiB << " KiB";
    std::string size;
    ASSERT_EQ(RunCommand("identify -format '%w x %h' " + (dir / "out.bmp").string(), &size), 0);
    EXPECT_EQ(size, "6000 x 4000");
}

}  // namespace
}  // namespace vistamaze::test
