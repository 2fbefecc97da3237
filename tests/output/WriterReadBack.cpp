#include "tests/output/WriterReadBack.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace vistamaze::test {

namespace {

Bgr TextureColour(int tx, int ty) {
    return {static_cast<std::uint8_t>(tx * 13 + ty * 7), static_cast<std::uint8_t>(200 - tx * 3 + ty * 5),
            static_cast<std::uint8_t>((tx ^ ty) * 9)};
}

struct TestJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void OnTestJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TestJpegError*>(cinfo->err)->jump, 1);
}

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// Locals here are trivially destructible: libjpeg may longjmp back to the setjmp.
bool DecodeJpeg(std::FILE* in, jpeg_decompress_struct* cinfo, TestJpegError* error, DecodedImage* out) {
    if (setjmp(error->jump) != 0) {
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_stdio_src(cinfo, in);
    jpeg_read_header(cinfo, TRUE);
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->components = cinfo->output_components;
    const std::size_t rowBytes =
        static_cast<std::size_t>(out->width) * static_cast<std::size_t>(out->components);
    out->samples.resize(rowBytes * static_cast<std::size_t>(out->height));
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->samples.data() + rowBytes * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// The low-level interface, without gamma handling: the samples as stored. Locals are
// trivially destructible because libpng may longjmp back here.
bool DecodePng(std::FILE* in, png_structp png, png_infop info, DecodedImage* out) {
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, in);
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8) {
        return false;
    }
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    out->components = 3;
    const std::size_t rowBytes = static_cast<std::size_t>(out->width) * 3;
    out->samples.resize(rowBytes * static_cast<std::size_t>(out->height));
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < out->height; ++y) {
            png_read_row(png, out->samples.data() + rowBytes * static_cast<std::size_t>(y), nullptr);
        }
    }
    png_read_end(png, nullptr);
    return true;
}

std::string Quoted(const std::filesystem::path& file) {
    // Built by appending: GCC 12 at -O3 misreports "'" + std::string as overlapping copies.
    std::string quoted(1, '\'');
    quoted += file.string();
    quoted += '\'';
    return quoted;
}

}  // namespace

PixelBuffer StereogramLike(int width, int height) {
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int depth = ((x / 40) + (y / 30)) % 4;
            const int period = 60 - 5 * depth;
            b.SetPixel(y, x, x < period ? TextureColour(x, y % 29) : b.Pixel(y, x - period));
        }
    }
    return b;
}

PixelBuffer SmoothColour(int width, int height) {
    const auto triangle = [](int t) {
        return static_cast<std::uint8_t>(30 + (t % 128 < 64 ? t % 128 : 127 - t % 128) * 3);
    };
    PixelBuffer b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetPixel(y, x, {triangle(x + 20), triangle(y * 2), triangle(x + y + 70)});
        }
    }
    return b;
}

PixelBuffer GreyRamp8(int width, int height) {
    PixelBuffer b(width, height, 8);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        b.Palette()[static_cast<std::size_t>(i)] = {v, v, v};
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetIndex(y, x, static_cast<std::uint8_t>((x * 3 + y * 2) & 255));
        }
    }
    return b;
}

PixelBuffer Paletted8(int width, int height) {
    PixelBuffer b(width, height, 8);
    for (int i = 0; i < 256; ++i) {
        b.Palette()[static_cast<std::size_t>(i)] = TextureColour(i, i / 7);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetIndex(y, x, static_cast<std::uint8_t>((x * 5 + y * 11) & 255));
        }
    }
    return b;
}

PixelBuffer OtherDepth(int width, int height, int bitsPerPixel) {
    PixelBuffer b(width, height, bitsPerPixel);
    for (std::size_t i = 0; i < b.Palette().size(); ++i) {
        b.Palette()[i] = TextureColour(static_cast<int>(i) * 17, static_cast<int>(i));
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < width; ++x) {
            const auto i = static_cast<std::size_t>(x);
            if (bitsPerPixel <= 8) {
                b.SetIndex(y, x, static_cast<std::uint8_t>(x + y * 3));
            } else if (bitsPerPixel == 16) {
                const unsigned v = (static_cast<unsigned>(x * 3 + y) & 0x7FFFU) * 37U & 0x7FFFU;
                row[i * 2] = static_cast<std::uint8_t>(v);
                row[i * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
            } else {
                const Bgr c = TextureColour(x, y);
                row[i * 4] = c.b;
                row[i * 4 + 1] = c.g;
                row[i * 4 + 2] = c.r;
                row[i * 4 + 3] = 0;
            }
        }
    }
    return b;
}

std::vector<std::uint8_t> ExpectedRgb(const PixelBuffer& buffer) {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(buffer.Width()) * static_cast<std::size_t>(buffer.Height()) * 3);
    for (int y = buffer.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < buffer.Width(); ++x) {
            const Bgr c = buffer.ColorAt(y, x);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    }
    return rgb;
}

DecodedImage ReadPngWithLibpng(const std::filesystem::path& file) {
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
    if (!in) {
        throw std::runtime_error("cannot open " + file.string());
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    DecodedImage out;
    const bool ok = DecodePng(in.get(), png, info, &out);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        throw std::runtime_error("libpng cannot decode " + file.string());
    }
    return out;
}

DecodedImage ReadJpegWithLibjpeg(const std::filesystem::path& file) {
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
    if (!in) {
        throw std::runtime_error("cannot open " + file.string());
    }
    jpeg_decompress_struct cinfo{};
    TestJpegError error{};
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = OnTestJpegError;
    DecodedImage out;
    const bool ok = DecodeJpeg(in.get(), &cinfo, &error, &out);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        throw std::runtime_error("libjpeg cannot decode " + file.string());
    }
    return out;
}

DecodedImage ReadWithImageMagick(const std::filesystem::path& file) {
    DecodedImage out;
    std::istringstream size(Identify(file, "%w %h"));
    if (!(size >> out.width >> out.height)) {
        throw std::runtime_error("identify cannot read " + file.string());
    }
    out.components = 3;
    std::string raw;
    if (RunCommand("convert " + Quoted(file) + " -auto-orient -depth 8 rgb:- 2>/dev/null", &raw) != 0) {
        throw std::runtime_error("convert cannot read " + file.string());
    }
    out.samples.assign(raw.begin(), raw.end());
    return out;
}

std::string Identify(const std::filesystem::path& file, const std::string& format) {
    std::string text;
    if (RunCommand("identify -format '" + format + "' " + Quoted(file) + " 2>/dev/null", &text) != 0) {
        return {};
    }
    return text;
}

SampleDifference CompareSamples(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    SampleDifference d;
    if (a.size() != b.size() || a.empty()) {
        d.largest = 256;
        return d;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int diff = std::abs(int{a[i]} - int{b[i]});
        d.largest = std::max(d.largest, diff);
        sum += diff;
    }
    d.mean = sum / static_cast<double>(a.size());
    return d;
}

}  // namespace vistamaze::test
