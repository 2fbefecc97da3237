#pragma once

#include "scene3d/Scene3d.h"

#include <QImage>
#include <string>
#include <vector>

namespace vistamaze::test {

// Whether the application runs on an X display (the test main picks xcb only when one is there).
[[nodiscard]] bool GLAvailable();

// Skips the current test with a message when there is no display.
#define VM_REQUIRE_GL()                                                                       \
    do {                                                                                      \
        if (!::vistamaze::test::GLAvailable()) {                                              \
            GTEST_SKIP() << "no X display: OpenGL tests need Xvfb (DISPLAY=:N, see test.sh)"; \
        }                                                                                     \
    } while (false)

// Saves `image` as <name>.png in the working folder and returns the absolute path, for failures.
std::string SaveForInspection(const QImage& image, const std::string& name);

// Saves a depth block (row 0 at the bottom) as an upright grey picture: drawn pixels from white
// (nearest) to dark grey (farthest drawn), background black.
std::string SaveDepthForInspection(const std::vector<float>& depth, int width, int height,
                                   const std::string& name);

// A scene holding only a square of half side `half` in the z = 0 plane, centred at (cx, cy), seen
// straight down -z from (0, 0, distance) by a camera without target.
void MakeQuadScene(Scene3d& scene, double half, double cx, double cy, double distance, double focalLength);

}  // namespace vistamaze::test
