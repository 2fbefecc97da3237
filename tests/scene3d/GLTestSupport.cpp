#include "GLTestSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <algorithm>
#include <cstddef>

namespace vistamaze::test {
bool GLAvailable() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

std::string SaveForInspection(const QImage& image, const std::string& name) {
    const QString path = QDir::current().absoluteFilePath(QString::fromStdString(name + ".png"));
    image.save(path);
    return path.toStdString();
}

std::string SaveDepthForInspection(const std::vector<float>& depth, int width, int height,
                                   const std::string& name) {
    // Stretched between the nearest and the farthest drawn value so small depth ranges show.
    float lo = 1.0F;
    float hi = 0.0F;
    for (const float d : depth) {
        if (d < 1.0F) {
            lo = std::min(lo, d);
            hi = std::max(hi, d);
        }
    }
    const float range = hi > lo ? hi - lo : 1.0F;
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int r = 0; r < height; ++r) {
        uchar* line = image.scanLine(height - 1 - r);
        for (int c = 0; c < width; ++c) {
            const float d = depth[static_cast<std::size_t>(r) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(c)];
            line[c] = d >= 1.0F
                          ? 0
                          : static_cast<uchar>(std::clamp(255.0F - 191.0F * (d - lo) / range, 64.0F, 255.0F));
        }
    }
    return SaveForInspection(image, name);
}

void MakeQuadScene(Scene3d& scene, double half, double cx, double cy, double distance, double focalLength) {
    Mesh quad;
    const auto x0 = static_cast<float>(cx - half);
    const auto x1 = static_cast<float>(cx + half);
    const auto y0 = static_cast<float>(cy - half);
    const auto y1 = static_cast<float>(cy + half);
    quad.AddVertex({x0, y0, 0.0F});
    quad.AddVertex({x1, y0, 0.0F});
    quad.AddVertex({x1, y1, 0.0F});
    quad.AddVertex({x0, y1, 0.0F});
    quad.AddTriangle(0, 1, 2);
    quad.AddTriangle(0, 2, 3);
    scene.model.SetMesh(std::move(quad));
    scene.model.SetVisible(true);
    scene.text.SetVisible(false);
    Camera& camera = scene.camera;
    camera.SetTarget(nullptr);
    camera.SetPosition({0.0, 0.0, distance});
    camera.SetOrientation({0.0, 0.0, -1.0}, {0.0, 1.0, 0.0});
    camera.SetFocalLength(focalLength);
    camera.SetSceneScale(1.0);
    camera.SetDepthOfView(100.0);
    camera.SetNearPlaneBias(0.05);
    scene.frontLight.SetPosition({10.0, 10.0, 10.0});
    scene.backLight.SetPosition({-10.0, 10.0, -10.0});
}

}  // namespace vistamaze::test
