#pragma once

#include "formats/Mesh.h"
#include "scene3d/GLSceneObject.h"

namespace vistamaze {

// Axes that auto-centring acts on.
struct AutoCenteringAxes {
    bool x = false;
    bool y = false;
    bool z = false;
};

// A triangle mesh object: geometry with normals and material colours from a model file.
class TGLFreeForm : public TGLSceneObject {
public:
    [[nodiscard]] const Mesh& MeshData() const noexcept { return mesh_; }
    // Replaces the geometry; normals are computed when the mesh brings none.
    void SetMesh(Mesh mesh);

    [[nodiscard]] AutoCenteringAxes AutoCentering() const noexcept { return autoCentering_; }
    void SetAutoCentering(AutoCenteringAxes axes) noexcept { autoCentering_ = axes; }
    [[nodiscard]] Vec3 AutoScaling() const noexcept { return autoScaling_; }
    void SetAutoScaling(Vec3 factors) noexcept { autoScaling_ = factors; }

    // Translates the geometry so the centre of its bounding box lies at the local origin on each
    // axis of the AutoCentering set. No change for an empty mesh.
    void PerformAutoCentering();
    // Scales the geometry by the auto-scaling vector (no change at 1, 1, 1).
    void PerformAutoScaling();

    [[nodiscard]] double BoundingRadius() const override;
    void DrawGeometry() const override;

private:
    Mesh mesh_;
    AutoCenteringAxes autoCentering_;
    Vec3 autoScaling_{1.0, 1.0, 1.0};
};

}  // namespace vistamaze
