#pragma once

#include "scene3d/DepthSource.h"

#include <vector>

namespace vistamaze {

// Depth-buffer reader: holds a W x H block of window depths of its linked view.
class DepthBuffer {
public:
    // W = H = 0, no view.
    DepthBuffer() = default;

    [[nodiscard]] int Width() const noexcept { return width_; }
    [[nodiscard]] int Height() const noexcept { return height_; }
    [[nodiscard]] DepthSource* Viewer() const noexcept { return viewer_; }

    // Remembers `viewer` (not owned; must outlive its use here) and takes its size when it differs
    // from W x H, reallocating the block.
    void LinkToViewer(DepthSource& viewer);

    // Reads the linked view's depth buffer of its last render: value (r, c) at r * W + c, row 0 at
    // the bottom, 0 at the near plane, 1 at the far plane and where nothing was drawn. Does not
    // allocate while the size stays. Throws vistamaze::Error when no view is linked.
    const std::vector<float>& ReadDepth();

    // The block of the last read.
    [[nodiscard]] const std::vector<float>& Data() const noexcept { return data_; }

private:
    int width_ = 0;
    int height_ = 0;
    DepthSource* viewer_ = nullptr;
    std::vector<float> data_;
};

}  // namespace vistamaze
