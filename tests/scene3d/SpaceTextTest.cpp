#include "engine/Errors.h"
#include "scene3d/SceneActions.h"
#include "scene3d/SpaceText.h"
#include "scene3d/SpaceTextGeometry.h"
#include "tests/support/TestSupport.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

QFont BoldArial(int pointSize = 12) {
    QFont font(QStringLiteral("Arial"), pointSize);
    font.setBold(true);
    return font;
}

struct Extent {
    Vec3f lo{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
             std::numeric_limits<float>::max()};
    Vec3f hi{-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
             -std::numeric_limits<float>::max()};
};

Extent ExtentOf(const TextGeometry& g) {
    Extent e;
    for (const Vec3f& p : g.positions) {
        e.lo = {std::min(e.lo.x, p.x), std::min(e.lo.y, p.y), std::min(e.lo.z, p.z)};
        e.hi = {std::max(e.hi.x, p.x), std::max(e.hi.y, p.y), std::max(e.hi.z, p.z)};
    }
    return e;
}

// Whether (x, y) lies in one of the front cap's triangles.
bool CapCovers(const TextGeometry& g, double x, double y) {
    for (std::size_t t = 0; t < g.frontCapTriangles; ++t) {
        const Vec3f& a = g.positions[3 * t];
        const Vec3f& b = g.positions[3 * t + 1];
        const Vec3f& c = g.positions[3 * t + 2];
        const auto side = [x, y](const Vec3f& p, const Vec3f& q) {
            return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x - p.x);
        };
        const double s1 = side(a, b);
        const double s2 = side(b, c);
        const double s3 = side(c, a);
        if ((s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0)) {
            return true;
        }
    }
    return false;
}

double CapArea(const TextGeometry& g) {
    double area = 0.0;
    for (std::size_t t = 0; t < g.frontCapTriangles; ++t) {
        const Vec3f& a = g.positions[3 * t];
        const Vec3f& b = g.positions[3 * t + 1];
        const Vec3f& c = g.positions[3 * t + 2];
        area += 0.5 * ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
    }
    return area;
}

TEST(SpaceTextGeometry, EmptyTextHasNoGeometry) {
    const TextGeometry g = BuildTextGeometry(QString(), BoldArial(), 0.2, 1.0);
    EXPECT_TRUE(g.Empty());
    SpaceText text;
    text.SetFont(BoldArial());
    text.SetText(QString());
    EXPECT_TRUE(text.Geometry().Empty());
    EXPECT_EQ(text.BoundingRadius(), 0.0);
    text.SetText(QStringLiteral(" "));
    EXPECT_TRUE(text.Geometry().Empty());
}

// Distance from `p` to the nearest outline edge, in outline units.
double DistanceToOutline(const QList<QPolygonF>& outlines, QPointF p) {
    double best = std::numeric_limits<double>::max();
    for (const QPolygonF& o : outlines) {
        for (qsizetype i = 0; i + 1 < o.size(); ++i) {
            const QPointF a = o[i];
            const QPointF d = o[i + 1] - a;
            const double len2 = QPointF::dotProduct(d, d);
            const double t = len2 > 0.0 ? std::clamp(QPointF::dotProduct(p - a, d) / len2, 0.0, 1.0) : 0.0;
            const QPointF q = a + d * t - p;
            best = std::min(best, std::hypot(q.x(), q.y()));
        }
    }
    return best;
}

// The cap is checked against Qt's own point-in-glyph test on a grid of sample points; points within
// a pixel of the outline are left out, where the two flatten the curves differently.
TEST(SpaceTextGeometry, CapsMatchGlyphFillWithHolesOpen) {
    for (const QString& s :
         {QStringLiteral("O"), QStringLiteral("B8"), QStringLiteral("HELLO"), QStringLiteral("%@")}) {
        const QFont font = BoldArial();
        const TextGeometry g = BuildTextGeometry(s, font, 0.2, 1.0);
        ASSERT_FALSE(g.Empty()) << s.toStdString();
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.addText(0.0, 0.0, OutlineFont(font), s);
        const QRectF box = path.boundingRect();
        const QList<QPolygonF> outlines = path.toSubpathPolygons();
        int samples = 0;
        int mismatches = 0;
        int inside = 0;
        constexpr int kGrid = 120;
        for (int i = 0; i < kGrid; ++i) {
            for (int j = 0; j < kGrid; ++j) {
                const double px = box.left() + (i + 0.5) * box.width() / kGrid;
                const double py = box.top() + (j + 0.5) * box.height() / kGrid;
                if (DistanceToOutline(outlines, QPointF(px, py)) < 1.0) {
                    continue;
                }
                const bool filled = path.contains(QPointF(px, py));
                const bool covered = CapCovers(g, (px - g.centreX) * g.scale, (-py - g.centreY) * g.scale);
                ++samples;
                inside += filled ? 1 : 0;
                mismatches += filled != covered ? 1 : 0;
            }
        }
        EXPECT_EQ(mismatches, 0) << s.toStdString();
        EXPECT_GT(samples, kGrid * kGrid / 3);
        // The cap area matches the filled share of the box (sampled; the outline band counts half).
        const double boxArea = box.width() * box.height() * g.scale * g.scale;
        const double band = kGrid * kGrid - samples;
        EXPECT_NEAR(CapArea(g), boxArea * (inside + band / 2) / (kGrid * kGrid),
                    boxArea * band / (2.0 * kGrid * kGrid))
            << s.toStdString();
    }
}

TEST(SpaceTextGeometry, CapAreaOfOExcludesItsHole) {
    const TextGeometry g = BuildTextGeometry(QStringLiteral("O"), BoldArial(), 0.2, 1.0);
    // The middle of the O is its hole.
    EXPECT_FALSE(CapCovers(g, 0.0, 0.0));
    const Extent e = ExtentOf(g);
    // A point on the left stroke, at mid height, is covered.
    EXPECT_TRUE(CapCovers(g, e.lo.x + 0.02, 0.0));
    const double ellipse = 3.14159265358979323846 * (e.hi.x - e.lo.x) * (e.hi.y - e.lo.y) / 4.0;
    EXPECT_GT(CapArea(g), 0.0);
    EXPECT_LT(CapArea(g), 0.75 * ellipse);
}

TEST(SpaceTextGeometry, ScaledToTextHeightCentredAndExtruded) {
    const TextGeometry small = BuildTextGeometry(QStringLiteral("HELLO"), BoldArial(8), 0.2, 1.0);
    const TextGeometry large = BuildTextGeometry(QStringLiteral("HELLO"), BoldArial(72), 0.2, 1.0);
    const TextGeometry twice = BuildTextGeometry(QStringLiteral("HELLO"), BoldArial(12), 0.5, 2.0);
    const Extent a = ExtentOf(small);
    const Extent b = ExtentOf(large);
    const Extent c = ExtentOf(twice);
    // Font size does not change the size in the scene.
    EXPECT_NEAR(a.hi.y - a.lo.y, b.hi.y - b.lo.y, 1e-4);
    EXPECT_NEAR(a.hi.x - a.lo.x, b.hi.x - b.lo.x, 1e-3);
    // Capitals fill most of a line of the text height, never more.
    const double capHeight = a.hi.y - a.lo.y;
    EXPECT_GT(capHeight, 0.5);
    EXPECT_LT(capHeight, 1.0);
    EXPECT_NEAR(c.hi.y - c.lo.y, 2.0 * capHeight, 1e-4);
    // Centred on the origin in x and y; extruded symmetrically along z by the extrusion depth.
    EXPECT_NEAR(a.lo.x, -a.hi.x, 1e-5);
    EXPECT_NEAR(a.lo.y, -a.hi.y, 1e-5);
    EXPECT_NEAR(a.hi.z - a.lo.z, 0.2, 1e-6);
    EXPECT_NEAR(c.hi.z - c.lo.z, 0.5, 1e-6);
    EXPECT_NEAR(a.lo.z, -a.hi.z, 1e-7);
}

TEST(SpaceTextGeometry, SolidHasBothCapsAndUnitNormals) {
    const TextGeometry g = BuildTextGeometry(QStringLiteral("HELLO"), BoldArial(), 0.2, 1.0);
    ASSERT_EQ(g.positions.size() % 3, 0U);
    ASSERT_EQ(g.normals.size(), g.positions.size());
    ASSERT_GT(g.positions.size(), 6 * g.frontCapTriangles);  // side walls after both caps
    for (std::size_t t = 0; t < g.frontCapTriangles; ++t) {
        EXPECT_FLOAT_EQ(g.positions[3 * t].z, 0.1F);
        EXPECT_FLOAT_EQ(g.positions[3 * (t + g.frontCapTriangles)].z, -0.1F);
    }
    double backArea = 0.0;  // the back cap runs the other way round
    for (std::size_t t = g.frontCapTriangles; t < 2 * g.frontCapTriangles; ++t) {
        const Vec3f& a = g.positions[3 * t];
        const Vec3f& b = g.positions[3 * t + 1];
        const Vec3f& c = g.positions[3 * t + 2];
        backArea += 0.5 * ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
    }
    EXPECT_NEAR(backArea, -CapArea(g), 1e-6);
    for (const Vec3f& n : g.normals) {
        ASSERT_NEAR(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 1.0, 1e-5);
    }
    // Side-wall normals point away from the solid: outward at the leftmost edge of the text.
    const Extent e = ExtentOf(g);
    for (std::size_t i = 6 * g.frontCapTriangles; i < g.positions.size(); i += 3) {
        if (g.positions[i].x == e.lo.x && g.positions[i + 2].x == e.lo.x) {
            EXPECT_LT(g.normals[i].x, 0.0F);
        }
    }
}

TEST(SpaceTextGeometry, EveryCharacterCodeBuilds) {
    const QFont font = BoldArial();
    QString all;
    for (int code = 0; code < 256; ++code) {
        const QString one(QChar(static_cast<char16_t>(code)));
        all += one;
        const TextGeometry g = BuildTextGeometry(one, font, 0.2, 1.0);
        ASSERT_EQ(g.positions.size() % 3, 0U) << code;
        for (const Vec3f& p : g.positions) {
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << code;
        }
        const bool letter = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z') ||
                            (code >= 0xC0 && code != 0xD7 && code != 0xF7);
        if (letter) {
            EXPECT_GT(g.frontCapTriangles, 0U) << code;
        }
    }
    EXPECT_FALSE(BuildTextGeometry(all, font, 0.2, 1.0).Empty());
}

TEST(SpaceText, RebuildsAfterChangesAndScalesBoundingRadius) {
    SpaceText text;
    text.SetFont(BoldArial());
    text.SetText(QStringLiteral("HELLO"));
    const double r = text.BoundingRadius();
    EXPECT_GT(r, 0.5);
    text.SetScale({2.0, 2.0, 2.0});
    EXPECT_NEAR(text.BoundingRadius(), 2.0 * r, 1e-9);
    text.SetScale({1.0, 1.0, 1.0});
    text.SetText(QStringLiteral("HELLO HELLO"));
    EXPECT_GT(text.BoundingRadius(), 1.5 * r);
    text.SetTextHeight(2.0);
    text.SetText(QStringLiteral("HELLO"));
    EXPECT_GT(text.BoundingRadius(), 1.8 * r);
}

// Time and memory grow with the text, not its square: a text ten times as long has ten times the
// triangles and the width, at the same height. (How fast is measured in bench/TextBench.cpp.)
TEST(SpaceTextGeometry, LongestTextGrowsInProportion) {
    const QString word = QStringLiteral("Hello");
    const QString longest = word.repeated(kMaxSpaceTextCharacters / word.size());
    ASSERT_EQ(longest.size(), kMaxSpaceTextCharacters);
    const QString tenth = word.repeated(kMaxSpaceTextCharacters / word.size() / 10);
    const TextGeometry all = BuildTextGeometry(longest, BoldArial(), 0.2, 1.0);
    const TextGeometry part = BuildTextGeometry(tenth, BoldArial(), 0.2, 1.0);
    ASSERT_FALSE(part.Empty());
    EXPECT_NEAR(static_cast<double>(all.positions.size()) / static_cast<double>(part.positions.size()), 10.0,
                0.01);
    EXPECT_NEAR(static_cast<double>(all.frontCapTriangles) / static_cast<double>(part.frontCapTriangles),
                10.0, 0.01);
    const Extent a = ExtentOf(all);
    const Extent p = ExtentOf(part);
    EXPECT_NEAR((a.hi.x - a.lo.x) / (p.hi.x - p.lo.x), 10.0, 0.01);
    EXPECT_FLOAT_EQ(a.hi.y - a.lo.y, p.hi.y - p.lo.y);
    EXPECT_TRUE(CapCovers(all, a.lo.x + 0.05, 0.0));  // the stem of the first "H"
}

// A text past a limit is refused before the scene changes, as the desktop program's "Change" and
// the command line's --text reach it.
TEST(SpaceText, TextPastItsLimitsIsRefusedAndThePreviousTextStays) {
    const QString pair = QString::fromUtf16(u"\U0001D400");  // one character, two UTF-16 units
    const struct {
        QString text;
        std::string message;
    } cases[] = {
        {QString(kMaxSpaceTextCharacters + 1, QLatin1Char('A')),
         "The 3D text has 10001 characters; it can have at most 10000"},
        {pair.repeated(kMaxSpaceTextCharacters + 1),
         "The 3D text has 10001 characters; it can have at most 10000"},
        {QString(kMaxSpaceTextCharacters, QLatin1Char('@')), "The 3D text is too detailed in this font"},
    };
    const auto scene = BuildInitialScene();
    SpaceText& text = scene->text;
    ShowSpaceText(*scene, QStringLiteral("ABC"));
    const std::size_t shown = text.Geometry().positions.size();
    const double radius = text.BoundingRadius();
    scene->navigator.SetMovingObject(&scene->model);
    for (const auto& c : cases) {
        try {
            ShowSpaceText(*scene, c.text);
            ADD_FAILURE() << c.message;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0U) << e.what();
        }
        EXPECT_EQ(text.Text(), QStringLiteral("ABC"));
        EXPECT_EQ(text.Geometry().positions.size(), shown);
        EXPECT_EQ(text.BoundingRadius(), radius);
        EXPECT_EQ(scene->navigator.MovingObject(), &scene->model);
    }
}

// Whether fontconfig lists an installed font with a glyph for `c`.
bool InstalledFontHas(char32_t c) {
    std::string families;
    const std::string command = "fc-list ':charset=" + QString::number(c, 16).toStdString() + "' family";
    EXPECT_EQ(test::RunCommand(command, &families), 0) << command;
    return !families.empty();
}

// Characters the chosen font lacks come from an installed font that has them; those no installed
// font has are named, once each, so that the user learns why the text shows a gap.
TEST(SpaceTextGeometry, CharactersNoInstalledFontHasAreNamedAndOthersFallBack) {
    if (!test::ToolAvailable("fc-list")) {
        GTEST_SKIP() << "fc-list (fontconfig) is not installed";
    }
    const struct {
        const char* text;  // UTF-8
        bool fallsBack;    // holds characters Liberation Sans lacks and DejaVu Sans has
    } cases[] = {
        {"HELLO", false},
        {"\xD4\xB1\xD5\xA2", true},                       // Armenian
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", false},  // Japanese
        {"A \xE1\x9A\xA0\t\xE1\x9A\xA0\xCD\xB8"
         "A",
         false},  // runic twice, an unassigned code
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        SCOPED_TRACE(text.toStdString());
        QString expected;
        for (const char32_t ch : text.toUcs4()) {
            const QString one = QString::fromUcs4(&ch, 1);
            if (!QChar::isSpace(ch) && !expected.contains(one) && !InstalledFontHas(ch)) {
                expected += one;
            }
        }
        EXPECT_EQ(CharactersWithoutGlyphs(text, BoldArial()), expected);
        if (c.fallsBack) {
            EXPECT_EQ(expected, QString());
            EXPECT_FALSE(BuildTextGeometry(text, BoldArial(), 0.2, 1.0).Empty());
        }
    }
}

}  // namespace
}  // namespace vistamaze
