#include "cli/DepthMaps.h"

#include "cli/FileRoles.h"
#include "engine/BufferOps.h"
#include "engine/Errors.h"
#include "engine/Resample.h"
#include "formats/PictureFile.h"
#include "output/PictureWriters.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vistamaze::cli {

namespace {

// The engine's fitting of a depth map file (see TStereogram::Generate): the same buffer helpers
// and the same truncated height, so the picture matches what the render read.
Picture FittedToOutput(const TStereogram& engine) {
    PixelBuffer fitted;
    GraphicToBuffer(fitted, engine.DepthMap());
    const int width = engine.Width();
    const int height = engine.Height();
    const int fittedHeight = std::max(
        1, static_cast<int>(std::trunc(fitted.Height() * (static_cast<long double>(width) /
                                                          static_cast<long double>(fitted.Width())))));
    if (fittedHeight > height) {
        // Only the rows the stereogram shows: a tall, narrow map scaled whole would take many
        // times the output's memory.
        ResizeBufferBand(fitted, width, fittedHeight, -((height - fittedHeight) / 2), height);
        return Picture(std::move(fitted));
    }
    ResizeBuffer(fitted, width, fittedHeight);
    // The engine counts its vertical offset from the bottom row; DrawOnto counts from the top.
    const int offsetFromBottom = (height - fittedHeight) / 2;
    PixelBuffer canvas(width, height, 24);
    fitted.DrawOnto(canvas, 0, height - fittedHeight - offsetFromBottom);
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

void SaveDepthMapUsed(const TStereogram& engine, const RenderOptions& options) {
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
