#pragma once

#include "engine/Stereogram.h"
#include "output/PngWriter.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistamaze::cli {

// A command line that cannot be used; the renderer prints the message and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything one run of the command-line renderer needs. Defaults are the main window's
// starting values.
struct RenderOptions {
    std::vector<std::string> depthMaps;
    std::string output;
    std::string texture;  // empty: the built-in texture
    TStereoGramType type = TStereoGramType::sgtTextured;
    int width = 1000;
    int height = 760;
    int dpi = 72;
    int oversampling = 4;
    TBlurType blur = TBlurType::blurNone;
    int dotIntensity = 50;
    TRandomDotColorType dotColors = TRandomDotColorType::dctBlackWhite;
    bool converging = false;
    double distance = 14.0;
    double maxDepth = 14.0;
    double minDepth = 8.0;
    bool stretch = true;
    int textureOffsetX = 0;
    int textureOffsetY = 0;
    int textureStepX = 0;  // per frame of a movie
    int textureStepY = 0;
    std::optional<std::uint32_t> seed;
    int quality = 95;
    PngOptions png{1, false, PngFilter::Up};
    int fps = 25;
    std::string audio;
    bool help = false;
    bool version = false;
};

// Parses argv[1..]. Throws UsageError with a one-line message for unknown options, missing or
// malformed values and values out of range.
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

// The text printed by --help.
std::string UsageText();

// The file that depth map number `index` (0-based) of `count` is written to: OUT itself for a
// single picture; with several, OUT with "%n" replaced by the 1-based number (zero-padded to
// the width of `count`), or, when OUT has no "%n", OUT taken as a folder holding
// <depth map name>.png.
std::string OutputFileFor(const RenderOptions& options, std::size_t index, std::size_t count);

}  // namespace vistamaze::cli
