#pragma once

namespace vistamaze {

// A view whose depth buffer can be read back.
class DepthSource {
public:
    DepthSource() = default;
    virtual ~DepthSource() = default;
    DepthSource(const DepthSource&) = delete;
    DepthSource& operator=(const DepthSource&) = delete;

    // Size of the view's framebuffer in device pixels.
    [[nodiscard]] virtual int DepthWidth() const = 0;
    [[nodiscard]] virtual int DepthHeight() const = 0;
    // Makes the view's context current, reads `width` x `height` window depths of its last render
    // from the lower-left corner into `out` (row 0 at the bottom, width * height floats), and
    // releases the context.
    virtual void ReadDepth(int width, int height, float* out) = 0;
};

}  // namespace vistamaze
