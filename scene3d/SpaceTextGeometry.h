#pragma once

#include "formats/Mesh.h"

#include <QFont>
#include <QString>
#include <cstddef>
#include <vector>

namespace vistamaze {

// Triangles of an extruded text, in the text's local coordinates: x to the right, y up, the front
// cap at z = +extrusion / 2 facing +z, the back cap at z = -extrusion / 2. Every three consecutive
// entries of `positions` (and `normals`) form one triangle. The front cap comes first
// (`frontCapTriangles` triangles, counter-clockwise seen from +z), then the back cap (as many),
// then the side walls.
struct TextGeometry {
    std::vector<Vec3f> positions;
    std::vector<Vec3f> normals;
    std::size_t frontCapTriangles = 0;
    // Mapping back to the glyph outlines of QPainterPath::addText(0, 0, OutlineFont(font), text)
    // (y down): local x = (pathX - centreX) * scale, local y = (-pathY - centreY) * scale.
    double scale = 0.0;
    double centreX = 0.0;
    double centreY = 0.0;

    [[nodiscard]] bool Empty() const noexcept { return positions.empty(); }
};

// The limits of BuildTextGeometry, which keep its time and memory bounded (about 1 s and 100 MB of
// triangles for 10,000 characters of prose): the most characters (Unicode code points) in a text,
// and the most points in the outlines of its glyphs, about four triangles each. Prose takes 30 to
// 40 points a character in the usual fonts, capitals and symbols up to 90.
inline constexpr qsizetype kMaxSpaceTextCharacters = 10000;
inline constexpr qsizetype kMaxSpaceTextPoints = 600000;

// The font the outlines are taken from: `font` at a fixed pixel size, so the flattening of curves
// and the result do not depend on the font's size.
[[nodiscard]] QFont OutlineFont(const QFont& font);

// Builds the solid text: glyph outlines of `font` tessellated under the nonzero winding rule (holes
// stay open), extruded by `extrusion` along z, scaled in x and y by textHeight / line height of the
// font (ascent + descent), and centred on the bounding box of the outlines in x and y. Characters
// are taken as they are (codes 0 to 255 included); an empty text or one without outlines gives an
// empty geometry. Throws vistamaze::Error for a text of more than kMaxSpaceTextCharacters
// characters ("The 3D text has N characters; it can have at most M"), before any work; for outlines
// of more than kMaxSpaceTextPoints points, before they are tessellated; and when they cannot be
// tessellated. Needs a QGuiApplication (font database); needs no OpenGL context.
// The characters of `text` that have no outline to draw: neither `font` nor any installed font that
// Qt's text drawing falls back to (as BuildTextGeometry does) has a glyph for them. Each character
// (code point) is listed once, in the order of its first appearance; white space and control and
// format characters, which draw nothing anyway, are never listed. Needs a QGuiApplication.
[[nodiscard]] QString CharactersWithoutGlyphs(const QString& text, const QFont& font);

[[nodiscard]] TextGeometry BuildTextGeometry(const QString& text, const QFont& font, double extrusion,
                                             double textHeight);

}  // namespace vistamaze
