// Decoding a full-HD depth map, as every command-line render and every depth map the desktop
// program opens does: grey (what depth maps mostly are) and RGB, written by libpng with its
// adaptive filters, so the rows carry every filter type.

#include "formats/PngReader.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <png.h>

namespace {

// A smooth depth map: a dome over a slope, with a step at its rim.
std::vector<std::uint8_t> DepthMapPng(int width, int height, int colourType) {
    std::vector<std::uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width * channels));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (height / 2.5);
            const double dy = (y - height / 2.0) / (height / 2.5);
            const double r2 = dx * dx + dy * dy;
            const double level = r2 < 1.0 ? 120.0 + 120.0 * std::sqrt(1.0 - r2) : 100.0 * x / width;
            for (int c = 0; c < channels; ++c) {
                row[static_cast<std::size_t>(x * channels + c)] = static_cast<std::uint8_t>(level);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

void BM_DecodePngDepthMap1080p(benchmark::State& state) {
    const std::vector<std::uint8_t> file =
        DepthMapPng(1920, 1080, state.range(0) == 0 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(vistamaze::DecodePng(file));
    }
    state.counters["file bytes"] = static_cast<double>(file.size());
}
// 0: grey, 1: RGB
BENCHMARK(BM_DecodePngDepthMap1080p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
