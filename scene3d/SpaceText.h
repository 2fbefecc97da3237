#pragma once

#include "scene3d/SceneObject.h"
#include "scene3d/SpaceTextGeometry.h"

#include <QFont>
#include <QString>

namespace vistamaze {

// Extruded 3D text, centred on its origin, extruded along its own z axis. Every setter rebuilds the
// geometry at once (needs a QGuiApplication, not a GL context) and throws vistamaze::Error, leaving
// the object unchanged, when BuildTextGeometry refuses the text (longer than kMaxSpaceTextCharacters,
// outlines too detailed) or cannot tessellate it. Starts with an empty text.
class SpaceText : public SceneObject {
public:
    [[nodiscard]] const QString& Text() const noexcept { return text_; }
    void SetText(const QString& text);
    [[nodiscard]] const QFont& Font() const noexcept { return font_; }
    void SetFont(const QFont& font);
    [[nodiscard]] double Extrusion() const noexcept { return extrusion_; }
    void SetExtrusion(double extrusion);
    // Height of a text line in scene units, whatever the font size.
    [[nodiscard]] double TextHeight() const noexcept { return textHeight_; }
    void SetTextHeight(double height);

    [[nodiscard]] const TextGeometry& Geometry() const noexcept { return geometry_; }
    [[nodiscard]] double BoundingRadius() const override;
    void DrawGeometry() const override;

private:
    void Update(const QString& text, const QFont& font, double extrusion, double height);

    QString text_;
    QFont font_;
    double extrusion_ = 0.2;
    double textHeight_ = 1.0;
    TextGeometry geometry_;
};

}  // namespace vistamaze
