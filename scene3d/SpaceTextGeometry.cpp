#include "scene3d/SpaceTextGeometry.h"

#include "engine/Errors.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <array>
#include <cmath>
#include <deque>
#include <memory>

#include <GL/glu.h>

namespace vistamaze {
namespace {

constexpr int kOutlinePixelSize = 128;

struct TessState {
    std::deque<std::array<GLdouble, 3>> points;      // deque: pointers stay valid while it grows
    std::vector<std::array<GLdouble, 3>> triangles;  // three per triangle
    GLenum error = 0;
};

extern "C" {
static void TessBegin(GLenum /*type*/, void* /*state*/) {}
static void TessEdgeFlag(GLboolean /*flag*/, void* /*state*/) {}
static void TessVertex(void* vertex, void* state) {
    static_cast<TessState*>(state)->triangles.push_back(*static_cast<std::array<GLdouble, 3>*>(vertex));
}
static void TessCombine(GLdouble coords[3], void* /*neighbours*/[4], GLfloat /*weights*/[4], void** out,
                        void* state) {
    auto& points = static_cast<TessState*>(state)->points;
    points.push_back({coords[0], coords[1], coords[2]});
    *out = &points.back();
}
static void TessError(GLenum error, void* state) {
    static_cast<TessState*>(state)->error = error;
}
}

using TessFunction = void (*)();

struct TessDeleter {
    void operator()(GLUtesselator* t) const noexcept { gluDeleteTess(t); }
};

// Closed outlines in path coordinates with y flipped to point up; the closing point is dropped.
std::vector<QPolygonF> Outlines(const QString& text, const QFont& outlineFont) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addText(0.0, 0.0, outlineFont, text);
    std::vector<QPolygonF> result;
    for (QPolygonF polygon : path.toSubpathPolygons()) {
        if (polygon.size() > 1 && polygon.first() == polygon.last()) {
            polygon.removeLast();
        }
        if (polygon.size() < 3) {
            continue;
        }
        for (QPointF& p : polygon) {
            p.setY(-p.y());
        }
        result.push_back(std::move(polygon));
    }
    return result;
}

// Cap triangles (counter-clockwise seen from +z) of the outlines under the nonzero rule.
std::vector<std::array<GLdouble, 3>> TessellateCaps(const std::vector<QPolygonF>& outlines) {
    std::unique_ptr<GLUtesselator, TessDeleter> tess(gluNewTess());
    if (!tess) {
        throw Error("Cannot create the text tessellator");
    }
    TessState state;
    GLUtesselator* t = tess.get();
    gluTessProperty(t, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(t, 0.0, 0.0, 1.0);
    gluTessCallback(t, GLU_TESS_BEGIN_DATA, reinterpret_cast<TessFunction>(&TessBegin));
    gluTessCallback(t, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<TessFunction>(&TessEdgeFlag));
    gluTessCallback(t, GLU_TESS_VERTEX_DATA, reinterpret_cast<TessFunction>(&TessVertex));
    gluTessCallback(t, GLU_TESS_COMBINE_DATA, reinterpret_cast<TessFunction>(&TessCombine));
    gluTessCallback(t, GLU_TESS_ERROR_DATA, reinterpret_cast<TessFunction>(&TessError));
    gluTessBeginPolygon(t, &state);
    for (const QPolygonF& outline : outlines) {
        gluTessBeginContour(t);
        for (const QPointF& p : outline) {
            state.points.push_back({p.x(), p.y(), 0.0});
            gluTessVertex(t, state.points.back().data(), &state.points.back());
        }
        gluTessEndContour(t);
    }
    gluTessEndPolygon(t);
    if (state.error != 0 || state.triangles.size() % 3 != 0) {
        throw Error("Cannot tessellate the 3D text");
    }
    return std::move(state.triangles);
}

// Twice the signed area of all outlines: positive when the filled outlines run counter-clockwise.
double SignedArea(const std::vector<QPolygonF>& outlines) {
    double sum = 0.0;
    for (const QPolygonF& o : outlines) {
        for (qsizetype i = 0; i < o.size(); ++i) {
            const QPointF& a = o[i];
            const QPointF& b = o[(i + 1) % o.size()];
            sum += a.x() * b.y() - b.x() * a.y();
        }
    }
    return sum;
}

void AddSideWalls(const std::vector<QPolygonF>& outlines, const TextGeometry& frame, float zFront,
                  TextGeometry& g) {
    // Outer outlines and holes run in opposite senses, so the right-hand side of travel points out
    // of the solid for all of them when the filled area runs counter-clockwise.
    const double sense = SignedArea(outlines) >= 0.0 ? 1.0 : -1.0;
    const auto local = [&frame](const QPointF& p) {
        return QPointF((p.x() - frame.centreX) * frame.scale, (p.y() - frame.centreY) * frame.scale);
    };
    for (const QPolygonF& o : outlines) {
        for (qsizetype i = 0; i < o.size(); ++i) {
            const QPointF a = local(o[i]);
            const QPointF b = local(o[(i + 1) % o.size()]);
            const double dx = b.x() - a.x();
            const double dy = b.y() - a.y();
            const double len = std::hypot(dx, dy);
            if (len == 0.0) {
                continue;
            }
            const Vec3f n{static_cast<float>(sense * dy / len), static_cast<float>(-sense * dx / len), 0.0F};
            const Vec3f af{static_cast<float>(a.x()), static_cast<float>(a.y()), zFront};
            const Vec3f bf{static_cast<float>(b.x()), static_cast<float>(b.y()), zFront};
            const Vec3f ab{af.x, af.y, -zFront};
            const Vec3f bb{bf.x, bf.y, -zFront};
            for (const Vec3f& v : {af, ab, bb, af, bb, bf}) {
                g.positions.push_back(v);
                g.normals.push_back(n);
            }
        }
    }
}

}  // namespace

QFont OutlineFont(const QFont& font) {
    QFont outlineFont(font);
    outlineFont.setPixelSize(kOutlinePixelSize);
    return outlineFont;
}

TextGeometry BuildTextGeometry(const QString& text, const QFont& font, double extrusion, double textHeight) {
    TextGeometry g;
    if (text.isEmpty()) {
        return g;
    }
    const QFont outlineFont = OutlineFont(font);
    const std::vector<QPolygonF> outlines = Outlines(text, outlineFont);
    if (outlines.empty()) {
        return g;
    }
    QRectF box;
    for (const QPolygonF& o : outlines) {
        box = box.united(o.boundingRect());
    }
    const QFontMetricsF metrics(outlineFont);
    g.scale = textHeight / (metrics.ascent() + metrics.descent());
    g.centreX = box.center().x();
    g.centreY = box.center().y();

    const auto zFront = static_cast<float>(extrusion * 0.5);
    const auto caps = TessellateCaps(outlines);
    g.frontCapTriangles = caps.size() / 3;
    for (const float z : {zFront, -zFront}) {
        const Vec3f normal{0.0F, 0.0F, z >= 0.0F ? 1.0F : -1.0F};
        for (std::size_t i = 0; i < caps.size(); i += 3) {
            // The back cap faces -z: reverse each triangle's corners.
            for (std::size_t k = 0; k < 3; ++k) {
                const auto& c = caps[i + (z >= 0.0F ? k : 2 - k)];
                g.positions.push_back({static_cast<float>((c[0] - g.centreX) * g.scale),
                                       static_cast<float>((c[1] - g.centreY) * g.scale), z});
                g.normals.push_back(normal);
            }
        }
    }
    AddSideWalls(outlines, g, zFront, g);
    return g;
}

}  // namespace vistamaze
