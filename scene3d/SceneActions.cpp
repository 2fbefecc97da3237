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
    scene.camera.SetFocalLength(kResetFocalLength);
    MeshObject& mesh = scene.model;
    mesh.SetMesh(std::move(model));
    const PivotNode& cube = scene.pivot;
    mesh.SetOrientation(cube.Direction(), cube.Up());
    scene.text.SetVisible(false);
    mesh.SetVisible(true);
    mesh.SetScale({1.0, 1.0, 1.0});
    const double a = ModelScaleFor(mesh.BoundingRadius(), viewWidth);
    mesh.SetScale({a, a, a});
    scene.camera.Reset();
    mesh.PerformAutoCentering();
    mesh.PerformAutoScaling();
    scene.navigator.SetMovingObject(&mesh);
}

void ShowSpaceText(Scene3d& scene, const QString& text) {
    scene.text.SetText(text);
    scene.model.SetVisible(false);
    scene.navigator.SetMovingObject(&scene.text);
    scene.text.SetVisible(true);
}

void ResetSceneView(Scene3d& scene) {
    Camera& camera = scene.camera;
    SceneObject* moving = scene.navigator.MovingObject();
    if (moving != nullptr) {
        moving->SetPosition({0.0, 0.0, 0.0});
    }
    camera.SetFocalLength(kResetFocalLength);
    camera.SetSceneScale(1.0);
    camera.SetPosition({15.0, 0.0, 15.0});
    scene.navigator.Straighten();
    if (moving != nullptr) {
        camera.SetTarget(moving);
    }
    camera.Reset();
    camera.SetTarget(&scene.pivot);
    if (moving != nullptr) {
        moving->SetRollAngle(0.0);
        moving->SetTurnAngle(0.0);
        moving->SetPitchAngle(0.0);
        const PivotNode& cube = scene.pivot;
        moving->SetOrientation(cube.Direction(), cube.Up());
    }
}

void PrimeCamera(Scene3d& scene, int width, int height) noexcept {
    static_cast<void>(scene.camera.BeginRender(width, height));
}

}  // namespace vistamaze
