#include "scene3d/DepthBuffer.h"

#include "engine/Errors.h"

#include <cstddef>

namespace vistamaze {

void DepthBuffer::LinkToViewer(DepthSource& viewer) {
    viewer_ = &viewer;
    const int w = viewer.DepthWidth();
    const int h = viewer.DepthHeight();
    if (w != width_ || h != height_) {
        width_ = w > 0 ? w : 0;
        height_ = h > 0 ? h : 0;
        data_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 1.0F);
    }
}

const std::vector<float>& DepthBuffer::ReadDepth() {
    if (viewer_ == nullptr) {
        throw Error("The depth buffer reader is not linked to a view");
    }
    if (!data_.empty()) {
        viewer_->ReadDepth(width_, height_, data_.data());
    }
    return data_;
}

}  // namespace vistamaze
