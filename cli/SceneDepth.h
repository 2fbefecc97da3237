#pragma once

#include "cli/RenderOptions.h"
#include "engine/Picture.h"

namespace vistamaze::cli {

// Builds the desktop program's start-up scene, puts the model or the text of `options.scene` into
// it and frames it as the program's model load (or text change) and "Reset view" do, turns the
// moving object by the --rotate angles, draws it off screen without any display, and returns the
// captured depth map (view-sized, 24-bit, white nearest, black background). Writes the colour
// picture to `options.scene.pictureOut` when that is set. Creates a QGuiApplication on Qt's
// "offscreen" platform for the text outlines unless the process already has an application.
// Throws vistamaze::Error for a model that cannot be read (the message names the file or its
// extension) and when there is no OpenGL without a display.
[[nodiscard]] Picture CaptureSceneDepth(const RenderOptions& options);

}  // namespace vistamaze::cli
