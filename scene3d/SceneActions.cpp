#include "scene3d/SceneActions.h"

#include <utility>

namespace vistamaze {

double ModelScaleFor(double radius, int viewWidth) noexcept {
    if (radius == 0.0) {
        return 1.0;
    }
    double a = 1.0;
    if (radius < 1.0) {
        a = 1.8 / radius;
    } else if (radius > 1.0) {
        a = 1.4 / radius;
    }
    return a + (viewWidth - 460) * a / 600.0;
}

void LoadModelIntoScene(Scene3d& scene, Mesh model, int viewWidth) {
    scene.GLCamera2.SetFocalLength(kResetFocalLength);
    MeshObject& mesh = scene.Teapot1;
    mesh.SetMesh(std::move(model));
    const PivotNode& cube = scene.GLDummyCube1;
    mesh.SetOrientation(cube.Direction(), cube.Up());
    scene.GLSpaceText1.SetVisible(false);
    mesh.SetVisible(true);
    mesh.SetScale({1.0, 1.0, 1.0});
    const double a = ModelScaleFor(mesh.BoundingRadius(), viewWidth);
    mesh.SetScale({a, a, a});
    scene.GLCamera2.Reset();
    mesh.PerformAutoCentering();
    mesh.PerformAutoScaling();
    scene.GLNavigator1.SetMovingObject(&mesh);
}

void ShowSpaceText(Scene3d& scene, const QString& text) {
    scene.GLSpaceText1.SetText(text);
    scene.Teapot1.SetVisible(false);
    scene.GLNavigator1.SetMovingObject(&scene.GLSpaceText1);
    scene.GLSpaceText1.SetVisible(true);
}

void ResetSceneView(Scene3d& scene) {
    Camera& camera = scene.GLCamera2;
    SceneObject* moving = scene.GLNavigator1.MovingObject();
    if (moving != nullptr) {
        moving->SetPosition({0.0, 0.0, 0.0});
    }
    camera.SetFocalLength(kResetFocalLength);
    camera.SetSceneScale(1.0);
    camera.SetPosition({15.0, 0.0, 15.0});
    scene.GLNavigator1.Straighten();
    if (moving != nullptr) {
        camera.SetTarget(moving);
    }
    camera.Reset();
    camera.SetTarget(&scene.GLDummyCube1);
    if (moving != nullptr) {
        moving->SetRollAngle(0.0);
        moving->SetTurnAngle(0.0);
        moving->SetPitchAngle(0.0);
        const PivotNode& cube = scene.GLDummyCube1;
        moving->SetOrientation(cube.Direction(), cube.Up());
    }
}

void PrimeCamera(Scene3d& scene, int width, int height) noexcept {
    static_cast<void>(scene.GLCamera2.BeginRender(width, height));
}

}  // namespace vistamaze
