#include "scene3d/SpaceTextGeometry.h"

#include "engine/Errors.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <numeric>
#include <set>
#include <string>

#include <GL/glu.h>

namespace vistamaze {
namespace {

constexpr int kOutlinePixelSize = 128;

// The most outlines tessellated together. A glyph's outline with its holes is fewer (a shade block,
// 67, has the most in common fonts); past it a hole is filled rather than the tessellation growing
// with the square of the group.
constexpr std::size_t kMaxGroupOutlines = 256;

// The most neighbours an outline's parent is sought among.
constexpr std::size_t kMaxParentSearch = 1024;

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// One closed outline in path coordinates with y flipped to point up; the closing point is dropped.
struct Outline {
    QPolygonF points;
    QRectF box;
    double twiceArea = 0.0;  // signed: positive when the outline runs counter-clockwise
};

// Receives the triangles of one tessellation straight into the front cap, in the text's local
// coordinates.
struct TessState {
    std::deque<std::array<GLdouble, 3>> points;  // deque: pointers stay valid while it grows
    std::vector<Vec3f>* cap = nullptr;
    double centreX = 0.0;
    double centreY = 0.0;
    double scale = 0.0;
    float z = 0.0F;
    GLenum error = 0;
};

extern "C" {
static void TessBegin(GLenum /*type*/, void* /*state*/) {}
static void TessEdgeFlag(GLboolean /*flag*/, void* /*state*/) {}
static void TessVertex(void* vertex, void* state) {
    const auto& s = *static_cast<TessState*>(state);
    const auto& c = *static_cast<std::array<GLdouble, 3>*>(vertex);
    s.cap->push_back({static_cast<float>((c[0] - s.centreX) * s.scale),
                      static_cast<float>((c[1] - s.centreY) * s.scale), s.z});
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

qsizetype CharacterCount(const QString& text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) {
            ++count;
        }
    }
    return count;
}

double TwiceSignedArea(const QPolygonF& o) {
    double sum = 0.0;
    for (qsizetype i = 0; i < o.size(); ++i) {
        const QPointF& a = o[i];
        const QPointF& b = o[(i + 1) % o.size()];
        sum += a.x() * b.y() - b.x() * a.y();
    }
    return sum;
}

// Appends the closed outlines of `subpath` to `outlines`; returns the number of their points.
std::size_t AddOutlines(const QPainterPath& subpath, std::vector<Outline>& outlines) {
    std::size_t points = 0;
    for (QPolygonF polygon : subpath.toSubpathPolygons()) {
        if (polygon.size() > 1 && polygon.first() == polygon.last()) {
            polygon.removeLast();
        }
        if (polygon.size() < 3) {
            continue;
        }
        for (QPointF& p : polygon) {
            p.setY(-p.y());
        }
        const QRectF box = polygon.boundingRect();
        const double twiceArea = TwiceSignedArea(polygon);
        points += static_cast<std::size_t>(polygon.size());
        outlines.push_back({std::move(polygon), box, twiceArea});
    }
    return points;
}

// The outlines of the whole text: QPainterPath::addText shapes and places the glyphs (and draws
// underline, overline and strike-out) in time proportional to the text. Its curves are flattened
// one subpath at a time: QPainterPath::toSubpathPolygons of the whole path gives every polygon the
// storage of the largest before it. Throws once the outlines pass kMaxSpaceTextPoints points.
std::vector<Outline> Outlines(const QString& text, const QFont& outlineFont) {
    QPainterPath path;
    path.addText(0.0, 0.0, outlineFont, text);
    std::vector<Outline> outlines;
    QPainterPath subpath;
    std::size_t points = 0;
    const auto flush = [&] {
        points += AddOutlines(subpath, outlines);
        subpath.clear();
        if (points > static_cast<std::size_t>(kMaxSpaceTextPoints)) {
            throw Error("The 3D text is too detailed in this font: its outlines have more than " +
                        std::to_string(kMaxSpaceTextPoints) + " points");
        }
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (e.isMoveTo()) {
            flush();
            subpath.moveTo(e);
        } else if (e.isLineTo()) {
            subpath.lineTo(e);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            subpath.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
            i += 2;
        }
    }
    flush();
    return outlines;
}

// Winding number of `polygon` around `p`.
int Winding(const QPolygonF& polygon, QPointF p) {
    int winding = 0;
    for (qsizetype i = 0; i < polygon.size(); ++i) {
        const QPointF& a = polygon[i];
        const QPointF& b = polygon[(i + 1) % polygon.size()];
        const double side = (b.x() - a.x()) * (p.y() - a.y()) - (p.x() - a.x()) * (b.y() - a.y());
        if (a.y() <= p.y()) {
            winding += (b.y() > p.y() && side > 0.0) ? 1 : 0;
        } else {
            winding -= (b.y() <= p.y() && side < 0.0) ? 1 : 0;
        }
    }
    return winding;
}

// Outlines of a line of text listed by columns about a glyph wide (never more columns than
// outlines), each outline in every column its x range meets, so that the outlines around a point
// are looked for among a few neighbours.
class OutlineColumns {
public:
    OutlineColumns(const std::vector<Outline>& outlines, const QRectF& box)
        : left_(box.left()),
          width_(std::max(static_cast<double>(kOutlinePixelSize),
                          box.width() / static_cast<double>(outlines.size()))),
          count_(static_cast<std::size_t>(box.width() / width_) + 1),
          starts_(count_ + 1, 0) {
        for (const Outline& o : outlines) {
            for (std::size_t c = Column(o.box.left()); c <= Column(o.box.right()); ++c) {
                ++starts_[c + 1];
            }
        }
        std::partial_sum(starts_.begin(), starts_.end(), starts_.begin());
        entries_.resize(starts_.back());
        std::vector<std::size_t> next(starts_.begin(), starts_.end() - 1);
        for (std::size_t i = 0; i < outlines.size(); ++i) {
            for (std::size_t c = Column(outlines[i].box.left()); c <= Column(outlines[i].box.right()); ++c) {
                entries_[next[c]++] = i;
            }
        }
    }

    // The outlines that reach column of `x`, in the order of the path.
    [[nodiscard]] std::pair<const std::size_t*, const std::size_t*> At(double x) const {
        const std::size_t c = Column(x);
        return {entries_.data() + starts_[c], entries_.data() + starts_[c + 1]};
    }

private:
    [[nodiscard]] std::size_t Column(double x) const {
        const double c = std::floor((x - left_) / width_);
        return std::min(count_ - 1, static_cast<std::size_t>(std::max(0.0, c)));
    }

    double left_;
    double width_;
    std::size_t count_;
    std::vector<std::size_t> starts_;
    std::vector<std::size_t> entries_;
};

// Whether `outer` lies around `inner`: boxes nested, a corner of `inner` inside `outer`, and
// `outer` strictly larger, so that no two outlines lie around each other and equal outlines
// stacked on one place stay apart.
bool LiesAround(const Outline& outer, const Outline& inner) {
    return std::abs(outer.twiceArea) > std::abs(inner.twiceArea) && outer.box.left() <= inner.box.left() &&
           outer.box.right() >= inner.box.right() && outer.box.top() <= inner.box.top() &&
           outer.box.bottom() >= inner.box.bottom() && Winding(outer.points, inner.points.first()) != 0;
}

// For every outline, the smallest outline around it, or kNone; of equal ones the nearest in the
// path, where the outlines of one glyph follow each other, so that a hole in one of many equal
// glyphs stacked on one place stays with its own glyph. The neighbours in the outline's column
// are tried nearest first, and only the nearest kMaxParentSearch of them.
std::vector<std::size_t> Parents(const std::vector<Outline>& outlines, const QRectF& box) {
    const OutlineColumns columns(outlines, box);
    std::vector<std::size_t> parents(outlines.size(), kNone);
    for (std::size_t i = 0; i < outlines.size(); ++i) {
        const Outline& inner = outlines[i];
        const auto [first, last] = columns.At(inner.box.left());
        const std::size_t* self = std::lower_bound(first, last, i);
        const std::size_t* below = self;
        const std::size_t* above = self + 1;
        double smallest = std::numeric_limits<double>::infinity();
        for (std::size_t tried = 0; tried < kMaxParentSearch && (below != first || above != last); ++tried) {
            const bool takeBelow = below != first && (above == last || i - below[-1] <= *above - i);
            const std::size_t j = takeBelow ? *--below : *above++;
            // Nearest first: an outline as large as the one found is farther, so no closer parent.
            const double area = std::abs(outlines[j].twiceArea);
            if (area < smallest * (1.0 - 1e-9) && LiesAround(outlines[j], inner)) {
                smallest = area;
                parents[i] = j;
            }
        }
    }
    return parents;
}

// The outlines whose caps are tessellated together, each group as a list of indices. Glyphs are
// tessellated one by one: a tessellation of the whole text grows with its square. An outline that
// runs against the outline around it (a hole, or an island in a hole) joins that outline's group;
// every other outline starts a group of its own, which leaves the caps of overlapping glyphs and of
// underlines overlapping but covering what the union covers.
std::vector<std::vector<std::size_t>> CapGroups(const std::vector<Outline>& outlines, const QRectF& box) {
    const std::vector<std::size_t> parents = Parents(outlines, box);
    // Parents before their children: LiesAround makes a parent strictly larger.
    std::vector<std::size_t> order(outlines.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&outlines](std::size_t a, std::size_t b) {
        return std::abs(outlines[a].twiceArea) > std::abs(outlines[b].twiceArea);
    });
    std::vector<std::size_t> groupOf(outlines.size(), kNone);
    std::vector<std::vector<std::size_t>> groups;
    for (const std::size_t i : order) {
        const std::size_t p = parents[i];
        const bool against = p != kNone && (outlines[p].twiceArea > 0.0) != (outlines[i].twiceArea > 0.0);
        if (against && groups[groupOf[p]].size() < kMaxGroupOutlines) {
            groupOf[i] = groupOf[p];
        } else {
            groupOf[i] = groups.size();
            groups.emplace_back();
        }
        groups[groupOf[i]].push_back(i);
    }
    return groups;
}

// Appends the cap triangles of the outlines (counter-clockwise seen from +z, under the nonzero
// rule) to `cap`, in the frame of `g`, at height `z`.
void TessellateCaps(const std::vector<Outline>& outlines, const QRectF& box, const TextGeometry& g, float z,
                    std::vector<Vec3f>& cap) {
    std::unique_ptr<GLUtesselator, TessDeleter> tess(gluNewTess());
    if (!tess) {
        throw Error("Cannot create the text tessellator");
    }
    GLUtesselator* t = tess.get();
    gluTessProperty(t, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(t, 0.0, 0.0, 1.0);
    gluTessCallback(t, GLU_TESS_BEGIN_DATA, reinterpret_cast<TessFunction>(&TessBegin));
    gluTessCallback(t, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<TessFunction>(&TessEdgeFlag));
    gluTessCallback(t, GLU_TESS_VERTEX_DATA, reinterpret_cast<TessFunction>(&TessVertex));
    gluTessCallback(t, GLU_TESS_COMBINE_DATA, reinterpret_cast<TessFunction>(&TessCombine));
    gluTessCallback(t, GLU_TESS_ERROR_DATA, reinterpret_cast<TessFunction>(&TessError));
    TessState state;
    state.cap = &cap;
    state.centreX = g.centreX;
    state.centreY = g.centreY;
    state.scale = g.scale;
    state.z = z;
    for (const std::vector<std::size_t>& group : CapGroups(outlines, box)) {
        state.points.clear();
        gluTessBeginPolygon(t, &state);
        for (const std::size_t i : group) {
            gluTessBeginContour(t);
            for (const QPointF& p : outlines[i].points) {
                state.points.push_back({p.x(), p.y(), 0.0});
                gluTessVertex(t, state.points.back().data(), &state.points.back());
            }
            gluTessEndContour(t);
        }
        gluTessEndPolygon(t);
        if (state.error != 0 || cap.size() % 3 != 0) {
            throw Error("Cannot tessellate the 3D text");
        }
    }
}

std::size_t PointCount(const std::vector<Outline>& outlines) {
    std::size_t edges = 0;
    for (const Outline& o : outlines) {
        edges += static_cast<std::size_t>(o.points.size());
    }
    return edges;
}

void AddSideWalls(const std::vector<Outline>& outlines, float zFront, TextGeometry& g) {
    // Outer outlines and holes run in opposite senses, so the right-hand side of travel points out
    // of the solid for all of them when the filled area runs counter-clockwise.
    double twiceArea = 0.0;
    for (const Outline& o : outlines) {
        twiceArea += o.twiceArea;
    }
    const double sense = twiceArea >= 0.0 ? 1.0 : -1.0;
    const auto local = [&g](const QPointF& p) {
        return QPointF((p.x() - g.centreX) * g.scale, (p.y() - g.centreY) * g.scale);
    };
    for (const Outline& outline : outlines) {
        const QPolygonF& o = outline.points;
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

namespace {

// Whether the text drawing finds a glyph for `c` in `font` or in a font it falls back to: glyph 0,
// a font's "missing glyph", is all that a character gets when no installed font has it.
bool HasGlyph(char32_t c, const QFont& font) {
    if (QFontMetrics(font).inFontUcs4(c)) {
        return true;
    }
    QTextLayout layout(QString::fromUcs4(&c, 1), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return std::any_of(runs.begin(), runs.end(), [](const QGlyphRun& run) {
        const QList<quint32> glyphs = run.glyphIndexes();
        return std::any_of(glyphs.begin(), glyphs.end(), [](quint32 glyph) { return glyph != 0; });
    });
}

}  // namespace

QString CharactersWithoutGlyphs(const QString& text, const QFont& font) {
    const QFont outlineFont = OutlineFont(font);
    QString missing;
    std::set<char32_t> seen;
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (QChar::isSpace(c) || category == QChar::Other_Control || category == QChar::Other_Format ||
            !seen.insert(c).second) {
            continue;
        }
        if (!HasGlyph(c, outlineFont)) {
            missing += QString::fromUcs4(&c, 1);
        }
    }
    return missing;
}

QFont OutlineFont(const QFont& font) {
    QFont outlineFont(font);
    outlineFont.setPixelSize(kOutlinePixelSize);
    return outlineFont;
}

TextGeometry BuildTextGeometry(const QString& text, const QFont& font, double extrusion, double textHeight) {
    if (const qsizetype characters = CharacterCount(text); characters > kMaxSpaceTextCharacters) {
        throw Error("The 3D text has " + std::to_string(characters) + " characters; it can have at most " +
                    std::to_string(kMaxSpaceTextCharacters));
    }
    TextGeometry g;
    if (text.isEmpty()) {
        return g;
    }
    const QFont outlineFont = OutlineFont(font);
    const std::vector<Outline> outlines = Outlines(text, outlineFont);
    if (outlines.empty()) {
        return g;
    }
    QRectF box;
    for (const Outline& o : outlines) {
        box = box.united(o.box);
    }
    const QFontMetricsF metrics(outlineFont);
    g.scale = textHeight / (metrics.ascent() + metrics.descent());
    g.centreX = box.center().x();
    g.centreY = box.center().y();

    const auto zFront = static_cast<float>(extrusion * 0.5);
    // A cap of outlines that do not cross has about a triangle for every point and two more for
    // every hole; the walls have two for every point.
    const std::size_t points = PointCount(outlines);
    g.positions.reserve(6 * (points + 2 * outlines.size()) + 6 * points);
    TessellateCaps(outlines, box, g, zFront, g.positions);
    const std::size_t capVertices = g.positions.size();
    g.frontCapTriangles = capVertices / 3;
    g.positions.reserve(2 * capVertices + 6 * points);
    g.normals.reserve(2 * capVertices + 6 * points);
    // A cap below z = 0 faces -z: each of its triangles' corners in reverse order.
    const float zBack = -zFront;
    if (zFront < 0.0F) {
        for (std::size_t i = 0; i < capVertices; i += 3) {
            std::swap(g.positions[i], g.positions[i + 2]);
        }
    }
    g.normals.assign(capVertices, Vec3f{0.0F, 0.0F, zFront >= 0.0F ? 1.0F : -1.0F});
    const bool reverseBack = (zFront >= 0.0F) != (zBack >= 0.0F);
    for (std::size_t i = 0; i < capVertices; i += 3) {
        for (std::size_t k = 0; k < 3; ++k) {
            const Vec3f c = g.positions[i + (reverseBack ? 2 - k : k)];
            g.positions.push_back({c.x, c.y, zBack});
        }
    }
    g.normals.resize(2 * capVertices, Vec3f{0.0F, 0.0F, zBack >= 0.0F ? 1.0F : -1.0F});
    AddSideWalls(outlines, zFront, g);
    return g;
}

}  // namespace vistamaze
