#pragma once

#include "engine/Stereogram.h"
#include "output/PngWriter.h"

#include <array>
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

// A 3D scene rendered off screen whose captured depth is the depth map: a model file or a line
// of 3D text, framed as the desktop program's "Load 3DS model" and "Change" text commands frame it.
struct SceneOptions {
    std::string model;
    std::optional<std::string> text;
    std::string font;  // family; empty: the 3D text's own font
    int viewWidth = 1600;
    int viewHeight = 1200;
    std::array<double, 3> rotate{};  // degrees about the scene's X, Y and Z axes, in that order
    int depthMin = 0;                // the three depth sliders, -500..500
    int depthMax = 0;
    int depthSpace = 0;
    std::string pictureOut;                   // colour picture of the scene
    std::optional<std::uint32_t> background;  // 0xRRGGBB; none: the view's initial colour

    [[nodiscard]] bool Requested() const noexcept { return !model.empty() || text.has_value(); }
    friend bool operator==(const SceneOptions&, const SceneOptions&) = default;
};

// A scene movie (--frames): the frame loop of the desktop program's animation, with its per-frame
// steps. Units as in the animation options dialog: degrees, percent of the focal length, Move-slider
// units (20 = 1 scene unit), percentage points of the texture scale.
struct AnimationRequest {
    std::optional<int> frames;  // set: the scene becomes a movie of this many frames
    std::array<int, 3> rotateStep{0, 3, 0};
    int zoomStep = 0;
    std::array<int, 2> moveStep{};
    double textureScaleStep = 0.0;

    [[nodiscard]] bool Requested() const noexcept { return frames.has_value(); }
};

// Everything one run of the command-line renderer needs. Defaults are the main window's
// starting values.
struct RenderOptions {
    std::vector<std::string> depthMaps;
    std::string output;
    std::string texture;  // empty: the built-in texture
    StereogramKind type = StereogramKind::Textured;
    int width = 1000;
    int height = 760;
    int dpi = 72;
    int oversampling = 4;
    BlurLevel blur = BlurLevel::None;
    int dotIntensity = 50;
    RandomDotColors dotColors = RandomDotColors::BlackAndWhite;
    bool converging = false;
    double distance = 14.0;
    double maxDepth = 14.0;
    double minDepth = 8.0;
    bool stretch = true;
    bool guideDots = false;
    int textureOffsetX = 0;
    int textureOffsetY = 0;
    int textureStepX = 0;  // per frame of a movie (0,15 for a scene movie)
    int textureStepY = 0;
    std::optional<std::uint32_t> seed;
    int quality = 95;
    PngOptions png{1, false, PngFilter::Up, 0};  // every core for the file
    int fps = 25;
    bool fpsGiven = false;  // --fps was given: a depth video's movie takes it instead of the video's rate
    std::string audio;
    // A compressed movie's constant quality (0 best; none: the codec's default) and encoder speed
    // (empty: the codec's default); see ChoicesFor in output/CompressedMovie.h.
    std::optional<int> crf;
    std::string preset;
    SceneOptions scene;
    AnimationRequest animation;
    // Where the depth map the stereogram was made from goes: a captured one at the view's size, a
    // depth map file as the engine fitted it to the stereogram. Empty: not written.
    std::string depthOut;
    bool help = false;
    bool version = false;
};

// True when `output` names a movie: .avi, .mp4 or .webm in any letter case.
[[nodiscard]] bool IsMovieFile(const std::string& output);

// Parses argv[1..]. With --frames the defaults of the size, the texture step, the type and the
// oversampling become those of the desktop program's animation options (1920 x 1080, 0,15,
// textured, 4); options given override them. Throws UsageError with a one-line message for
// unknown options, missing or malformed values, values out of range (--crf and --preset for the
// codec of OUT), side outputs whose extension selects no picture format, depth maps given both as files and
// as a scene, and animation options without a scene movie.
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

// The file that depth map number `index` (0-based) of `count` is written to: OUT itself for a
// single picture; with several, OUT with "%n" replaced by the 1-based number (zero-padded to
// the width of `count`), or, when OUT has no "%n", OUT taken as a folder holding
// <depth map name>.png.
std::string OutputFileFor(const RenderOptions& options, std::size_t index, std::size_t count);

// Every file the run writes: each stereogram (see OutputFileFor) or the movie, then
// --depth-out and --picture-out when given.
std::vector<std::string> OutputFiles(const RenderOptions& options);

// Refuses a command line whose outputs would destroy its inputs or one another, before anything
// is written: throws UsageError naming both files when an output is the same file as an input
// (a depth map, the texture, the sound track, the model) or as another output (e.g. two depth
// maps of the same name in folder mode). Files that exist are compared as files, so another
// spelling or a link of the same file is caught; the others by absolute, normalised paths.
void CheckOutputsApart(const RenderOptions& options);

}  // namespace vistamaze::cli
