#include "scene3d/SpaceText.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <GL/gl.h>

namespace vistamaze {

void SpaceText::SetText(const QString& text) {
    Update(text, font_, extrusion_, textHeight_);
}

void SpaceText::SetFont(const QFont& font) {
    Update(text_, font, extrusion_, textHeight_);
}

void SpaceText::SetExtrusion(double extrusion) {
    Update(text_, font_, extrusion, textHeight_);
}

void SpaceText::SetTextHeight(double height) {
    Update(text_, font_, extrusion_, height);
}

void SpaceText::Update(const QString& text, const QFont& font, double extrusion, double height) {
    // Built before anything is stored, so a failure leaves the object as it was and no error can
    // surface later inside a paint.
    TextGeometry geometry = BuildTextGeometry(text, font, extrusion, height);
    text_ = text;
    font_ = font;
    extrusion_ = extrusion;
    textHeight_ = height;
    geometry_ = std::move(geometry);
}

double SpaceText::BoundingRadius() const {
    const TextGeometry& g = Geometry();
    if (g.Empty()) {
        return 0.0;
    }
    constexpr float kMax = std::numeric_limits<float>::max();
    Vec3f lo{kMax, kMax, kMax};
    Vec3f hi{-kMax, -kMax, -kMax};
    for (const Vec3f& p : g.positions) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const Vec3 s = Scale();
    return Length(Vec3{(static_cast<double>(hi.x) - lo.x) * 0.5 * s.x,
                       (static_cast<double>(hi.y) - lo.y) * 0.5 * s.y,
                       (static_cast<double>(hi.z) - lo.z) * 0.5 * s.z});
}

void SpaceText::DrawGeometry() const {
    const TextGeometry& g = Geometry();
    if (g.Empty()) {
        return;
    }
    const GLfloat diffuse[4] = {0.8F, 0.8F, 0.8F, 1.0F};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, diffuse);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, g.positions.data());
    glNormalPointer(GL_FLOAT, 0, g.normals.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(g.positions.size()));
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace vistamaze
