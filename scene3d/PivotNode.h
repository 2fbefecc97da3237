#pragma once

#include "scene3d/SceneObject.h"

namespace vistamaze {

// The invisible reference cube: a target and a source of orientation; it is never drawn.
class PivotNode : public SceneObject {
public:
    PivotNode() { SetVisible(false); }
    [[nodiscard]] double CubeSize() const noexcept { return cubeSize_; }
    void SetCubeSize(double size) noexcept { cubeSize_ = size; }

private:
    double cubeSize_ = 1.0;
};

}  // namespace vistamaze
