#include "cli/DepthMaps.h"

#include "cli/FileRoles.h"
#include "engine/BufferOps.h"
#include "engine/Errors.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"

#include <string>

namespace vistamaze::cli {

namespace {

// The depth map file as the render fitted it, on a canvas of the stereogram's size.
Picture FittedToOutput(const Stereogram& engine) {
    PixelBuffer fitted;
    GraphicToBuffer(fitted, engine.DepthMap());
    const int width = engine.Width();
    const int height = engine.Height();
    FitDepthMap(fitted, width, height);
    // The engine counts its vertical offset from the bottom row; DrawOnto counts from the top.
    const int offsetFromBottom = (height - fitted.Height()) / 2;
    PixelBuffer canvas(width, height, 24);
    fitted.DrawOnto(canvas, 0, height - fitted.Height() - offsetFromBottom);
    return Picture(std::move(canvas));
}

}  // namespace

std::size_t DepthMapCount(const RenderOptions& options) {
    return options.scene.Requested() ? 1 : options.depthMaps.size();
}

Picture LoadDepthMap(const RenderOptions& options, std::size_t index, const SceneRuns& scene) {
    if (options.scene.Requested()) {
        if (scene.captureDepth == nullptr) {
            throw Error(kNoSceneHere);
        }
        return scene.captureDepth(options);
    }
    return InRole("depth map", [&] { return ReadPictureFile(options.depthMaps[index]); });
}

void SaveDepthMapUsed(const Stereogram& engine, const RenderOptions& options) {
    if (options.depthOut.empty()) {
        return;
    }
    const std::string dpi = std::to_string(engine.DPI());
    InRole("depth map output", [&] {
        if (options.scene.Requested()) {
            SavePictureByExtension(engine.DepthMap(), options.depthOut, options.quality, dpi, options.png);
        } else {
            SavePictureByExtension(FittedToOutput(engine), options.depthOut, options.quality, dpi,
                                   options.png);
        }
    });
}

}  // namespace vistamaze::cli
