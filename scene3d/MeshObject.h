#pragma once

#include "formats/Mesh.h"
#include "scene3d/SceneObject.h"

namespace vistamaze {

// Axes that auto-centring acts on.
struct AutoCenteringAxes {
    bool x = false;
    bool y = false;
    bool z = false;
};

// A triangle mesh object: geometry with normals and material colours from a model file.
class MeshObject : public SceneObject {
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
    // Draws the mesh. A closed surface seen from outside is drawn without the faces turned away
    // from the camera (see SurfaceOrientation): every such face lies behind one turned towards it,
    // so the colour and the depth drawn stay those of the whole mesh, at about half the work. When
    // the near plane may cut into the surface every face is drawn.
    void DrawGeometry() const override;

    // +1 when the mesh is a closed surface whose triangles run counter-clockwise seen from outside
    // (corners at equal positions taken as one, triangles without area left out: every edge is
    // shared by exactly two triangles that run along it in opposite directions, and the enclosed
    // volume is positive); -1 for such a surface turned inside out; 0 for any other mesh (open,
    // with edges of one or of three triangles, or enclosing no volume).
    [[nodiscard]] int SurfaceOrientation() const noexcept { return surfaceOrientation_; }

private:
    Mesh mesh_;
    MeshBounds bounds_;  // of mesh_, kept as it changes: every draw needs it
    int surfaceOrientation_ = 0;
    AutoCenteringAxes autoCentering_;
    Vec3 autoScaling_{1.0, 1.0, 1.0};
};

}  // namespace vistamaze
