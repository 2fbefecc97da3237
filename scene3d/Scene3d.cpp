#include "scene3d/Scene3d.h"

namespace vistamaze {

QColor ColorFromNumber(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFU), static_cast<int>((bgr >> 8U) & 0xFFU),
                  static_cast<int>((bgr >> 16U) & 0xFFU));
}

std::unique_ptr<Scene3d> BuildInitialScene() {
    auto scene = std::make_unique<Scene3d>();

    PivotNode& cube = scene->pivot;
    cube.SetPosition({0.0, 0.0, 0.0});
    cube.SetScale({0.5, 0.5, 0.5});
    cube.SetCubeSize(1.0);
    cube.SetOrientation({0.0, 0.0, 1.0}, {0.0, 1.0, 0.0});

    MeshObject& mesh = scene->model;
    mesh.SetOrientation({0.0, 0.0, 1.0}, {0.0, 1.0, 0.0});
    mesh.SetAutoCentering({true, true, true});
    mesh.SetVisible(true);

    SpaceText& text = scene->text;
    text.SetText(QStringLiteral("HELLO"));
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    text.SetFont(font);
    text.SetExtrusion(0.2);
    text.SetTextHeight(1.0);
    // The stored direction is the single-precision pair (0.632441, 0.774609), normalised.
    text.SetOrientation({static_cast<double>(0.632441F), 0.0, static_cast<double>(0.774609F)},
                        {0.0, 1.0, 0.0});
    text.SetVisible(true);

    scene->frontLight.SetPosition({10.0, 10.0, 10.0});
    scene->backLight.SetPosition({-10.0, 10.0, -10.0});
    for (LightSource* light : {&scene->frontLight, &scene->backLight}) {
        light->SetConstAttenuation(1.0);
        light->SetSpotCutOff(180.0);
    }

    Camera& camera = scene->camera;
    camera.SetPosition({15.0, 0.0, 15.0});
    camera.SetOrientation({0.0, 0.0, -1.0}, {0.0, 1.0, 0.0});
    camera.SetTarget(&scene->pivot);
    camera.SetFocalLength(static_cast<double>(397.0105F));
    camera.SetSceneScale(1.0);
    camera.SetDepthOfView(1000.0);
    camera.SetNearPlaneBias(0.05);

    scene->navigator.SetMovingObject(&scene->text);
    scene->navigator.SetVirtualUp({0.0, 1.0, 0.0});
    return scene;
}

}  // namespace vistamaze
