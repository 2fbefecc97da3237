// Geometry of our own readers checked against what the formats define: transforms of VRML,
// the rational B-spline surface of NURBS files, the orientation of GTS faces; and the mesh helpers.
#include "engine/Errors.h"
#include "formats/Mesh.h"
#include "formats/ModelFile.h"
#include "formats/models/ModelReaders.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze {
namespace {

Mesh ReadText(void (*reader)(models::ByteSpan, Mesh&), const std::string& text) {
    Mesh mesh;
    reader(models::ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), mesh);
    return mesh;
}

void ExpectPoint(const Vec3f& p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, 1e-5);
    EXPECT_NEAR(p.y, y, 1e-5);
    EXPECT_NEAR(p.z, z, 1e-5);
}

// Six times the signed volume enclosed: positive when every face is wound counter-clockwise as
// seen from outside.
double SignedVolume6(const Mesh& m) {
    double sum = 0.0;
    for (const auto& t : m.triangles) {
        const Vec3f& a = m.vertices[t[0]];
        const Vec3f& b = m.vertices[t[1]];
        const Vec3f& c = m.vertices[t[2]];
        sum += a.x * (static_cast<double>(b.y) * c.z - static_cast<double>(b.z) * c.y) -
               a.y * (static_cast<double>(b.x) * c.z - static_cast<double>(b.z) * c.x) +
               a.z * (static_cast<double>(b.x) * c.y - static_cast<double>(b.y) * c.x);
    }
    return sum;
}

TEST(VrmlReaderTest, TransformsDefUseAndMaterials) {
    const Mesh m = ReadText(&models::ReadVrmlModel, R"(#VRML V2.0 utf8
# a unit quad, scaled by 2, turned 90 degrees about z and moved by 10 along x; then reused
DEF T Transform { translation 10 0 0 rotation 0 0 1 1.5707963268 scale 2 2 2
  children [ DEF S Shape {
    appearance Appearance { material Material { diffuseColor 1 0 0 } }
    geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 1 1 0, 0 1 0] } coordIndex [0 1 2 3 -1] } } ] }
Transform { translation 0 0 5 children [ USE S ] }
Transform { center 1 0 0 rotation 0 0 1 3.1415926536 children USE S }
ROUTE A.b TO C.d
)");
    ASSERT_EQ(m.vertices.size(), 12U);
    ASSERT_EQ(m.triangles.size(), 6U);
    ExpectPoint(m.vertices[1], 10, 2, 0);  // (1,0,0) -> (2,0,0) -> (0,2,0) -> (10,2,0)
    ExpectPoint(m.vertices[2], 8, 2, 0);
    ExpectPoint(m.vertices[5], 1, 0, 5);
    ExpectPoint(m.vertices[8], 2, 0, 0);  // half a turn about (1,0,0)
    ExpectPoint(m.vertices[10], 1, -1, 0);
    ASSERT_EQ(m.parts.size(), 3U);
    for (const MeshPart& part : m.parts) {
        EXPECT_TRUE(part.hasDiffuse);
        EXPECT_EQ(part.diffuse.r, 1.0F);
        EXPECT_EQ(part.diffuse.g, 0.0F);
        EXPECT_EQ(part.triangleCount, 2U);
    }
}

TEST(VrmlReaderTest, Vrml1PropertiesAreScopedBySeparators) {
    const Mesh m = ReadText(&models::ReadVrmlModel, R"(#VRML V1.0 ascii
Separator {
  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }
  Separator { Translation { translation 0 0 3 } Material { diffuseColor 0 1 0 } IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] } }
  Scale { scaleFactor 2 2 2 }
  IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }
}
IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }
)");
    ASSERT_EQ(m.triangles.size(), 2U);  // the last face set has no coordinates in scope
    ExpectPoint(m.vertices[1], 1, 0, 3);
    ExpectPoint(m.vertices[4], 2, 0, 0);
    ASSERT_EQ(m.parts.size(), 2U);
    EXPECT_TRUE(m.parts[0].hasDiffuse);
    EXPECT_FALSE(m.parts[1].hasDiffuse);
}

TEST(VrmlReaderTest, ProtosAndScriptsAreSkipped) {
    const Mesh m = ReadText(&models::ReadVrmlModel, R"(#VRML V2.0 utf8
PROTO Thing [ field SFFloat size 1 ] { Group { children [] } }
EXTERNPROTO Other [ field SFVec3f where ] "other.wrl#Other"
Thing { size 3 }
DEF Sc Script { field SFFloat k 1.0 eventIn SFTime tick url "javascript: function tick() {}" }
Switch { whichChoice 1 choice [
  Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0 1 0 0 0 1 0] } coordIndex [0 1 2] } }
  Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0 1 0 0 1 1 0 0 1 0] } coordIndex [0 1 2 3] ccw FALSE } } ] }
)");
    ASSERT_EQ(m.triangles.size(), 2U);
    EXPECT_EQ(m.triangles[0][1], 2U);  // ccw FALSE turns the winding round
}

// 3ds Max exported one motion-capture scene both as VRML 97 (24 shapes under rotated and
// scaled transforms) and as ASE; `assimp export -ptv` of the ASE file gives 2016 triangles in
// (-31.566, 0.906, -26.822) - (32.483, 68.500, -12.514). The two exports differ slightly.
TEST(VrmlReaderTest, AgreesWithTheSameSceneExportedAsAse) {
    const std::filesystem::path file = "/usr/share/assimp/models/WRL/MotionCaptureROM.WRL";
    if (!std::filesystem::exists(file)) {
        GTEST_SKIP() << "assimp-testmodels is not installed";
    }
    const Mesh m = LoadModelFile(file);
    EXPECT_NEAR(static_cast<double>(m.triangles.size()), 2016.0, 20.0);
    EXPECT_EQ(m.parts.size(), 24U);
    const MeshBounds box = m.Bounds();
    const double lo[3] = {-31.56621, 0.905695, -26.822302};
    const double hi[3] = {32.482601, 68.499825, -12.513802};
    const float got[6] = {box.min.x, box.min.y, box.min.z, box.max.x, box.max.y, box.max.z};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(got[k], lo[k], 0.05) << "axis " << k;
        EXPECT_NEAR(got[k + 3], hi[k], 0.05) << "axis " << k;
    }
}

// Closed primitives enclose their volume with outward faces: 6 V = SignedVolume6 > 0.
TEST(VrmlReaderTest, PrimitivesAreClosedSolidsOfTheirSize) {
    struct Case {
        const char* geometry;
        double volume;     // of the exact solid
        double tolerance;  // relative, for the tessellation
        double halfX, halfY, halfZ;
    };
    const Case cases[] = {
        {"Box { size 2 4 6 }", 48.0, 1e-6, 1, 2, 3},
        {"Sphere { radius 2 }", 4.0 / 3.0 * M_PI * 8.0, 0.03, 2, 2, 2},
        {"Cylinder { radius 1 height 3 }", M_PI * 3.0, 0.01, 1, 1.5, 1},
        {"Cone { bottomRadius 2 height 3 }", M_PI * 4.0, 0.01, 2, 1.5, 2},
    };
    for (const Case& c : cases) {
        const Mesh m =
            ReadText(&models::ReadVrmlModel, std::string("#VRML V2.0 utf8\nTransform { translation 10 20 30 "
                                                         "children Shape { geometry ") +
                                                 c.geometry + " } }\n");
        ASSERT_FALSE(m.triangles.empty()) << c.geometry;
        Mesh centred = m;
        centred.Translate({-10, -20, -30});
        EXPECT_NEAR(SignedVolume6(centred) / 6.0, c.volume, c.volume * c.tolerance) << c.geometry;
        const MeshBounds box = m.Bounds();
        ExpectPoint(box.min, 10 - c.halfX, 20 - c.halfY, 30 - c.halfZ);
        ExpectPoint(box.max, 10 + c.halfX, 20 + c.halfY, 30 + c.halfZ);
    }
    const Mesh open = ReadText(&models::ReadVrmlModel,
                               "#VRML V2.0 utf8\nShape { geometry Cylinder { top FALSE bottom FALSE } }\n");
    // Seen from the centre, the side alone spans two thirds of the solid's volume (the caps, a
    // third): (2/3) * pi * 1^2 * 2 for the default radius and height.
    EXPECT_NEAR(SignedVolume6(open) / 6.0, 2.0 / 3.0 * M_PI * 2.0, 0.01 * M_PI * 2.0);
}

TEST(NurbsReaderTest, RationalQuadraticGivesAnExactCylinder) {
    // A quarter circle of radius 1 in x-y as a rational quadratic, extruded linearly along z.
    const Mesh m = ReadText(&models::ReadNurbsModel, R"(uOrder 3
vOrder 2
uDimension 3
vDimension 2
uKnot [ 0, 0, 0, 1, 1, 1 ]
vKnot [ 0, 0, 1, 1 ]
controlPoint [ 1 0 0, 1 1 0, 0 1 0, 1 0 2, 1 1 2, 0 1 2 ]
weight [ 1, 0.70710678118654752, 1, 1, 0.70710678118654752, 1 ]
)");
    ASSERT_GT(m.triangles.size(), 10U);
    for (const Vec3f& p : m.vertices) {
        EXPECT_NEAR(std::hypot(p.x, p.y), 1.0, 1e-6);
        EXPECT_GE(p.z, -1e-6);
        EXPECT_LE(p.z, 2 + 1e-6);
    }
    ExpectPoint(m.vertices.front(), 1, 0, 0);
    ExpectPoint(m.vertices.back(), 0, 1, 2);
}

// "ccw FALSE" gives the same surface with every face turned the other way.
TEST(NurbsReaderTest, ClockwiseFacesAreReversed) {
    const std::string surface = R"(uOrder 2
vOrder 2
uDimension 2
vDimension 2
uKnot [ 0 0 1 1 ]
vKnot [ 0 0 1 1 ]
controlPoint [ 0 0 0, 1 0 0, 0 1 0, 1 1 0 ]
)";
    const Mesh front = ReadText(&models::ReadNurbsModel, surface + "ccw TRUE\n");
    const Mesh back = ReadText(&models::ReadNurbsModel, "ccw FALSE\n" + surface);
    ASSERT_EQ(front.vertices.size(), back.vertices.size());
    for (std::size_t i = 0; i < front.vertices.size(); ++i) {
        ExpectPoint(back.vertices[i], front.vertices[i].x, front.vertices[i].y, front.vertices[i].z);
    }
    ASSERT_EQ(front.triangles.size(), back.triangles.size());
    for (std::size_t i = 0; i < front.triangles.size(); ++i) {
        const auto& f = front.triangles[i];
        EXPECT_EQ(back.triangles[i], (std::array<std::uint32_t, 3>{f[0], f[2], f[1]})) << i;
    }
    EXPECT_THROW(static_cast<void>(ReadText(&models::ReadNurbsModel, surface + "ccw maybe\n")), Error);
}

// The indexed layout: vertices listed once, triangles by 1-based vertex numbers.
TEST(TinReaderTest, IndexedLayoutNamesVerticesByNumber) {
    const Mesh m = ReadText(
        &models::ReadTinModel,
        "TIN\nBEGT\nTNAM square\nVERT 4\n0 0 0\n1 0 0 0\n1 1 0.5\n0 1 0\nTRI 2\n1 2 3\n1 3 4 0\nENDT\n");
    ASSERT_EQ(m.vertices.size(), 4U);
    ExpectPoint(m.vertices[2], 1, 1, 0.5);
    ASSERT_EQ(m.triangles.size(), 2U);
    EXPECT_EQ(m.triangles[1], (std::array<std::uint32_t, 3>{0, 2, 3}));
    EXPECT_THROW(
        static_cast<void>(ReadText(&models::ReadTinModel, "TIN\nBEGT\nVERT 1\n0 0 0\nTRI 1\n1 1 2\nENDT\n")),
        Error);
}

TEST(NurbsReaderTest, DuckLiesInsideItsControlNet) {
    const Mesh m = LoadModelFile(test::DataFile("models/glscene_duck1.nurbs"));
    ASSERT_GT(m.triangles.size(), 100U);
    // Clamped knots: the surface starts at the first control point. With positive weights every
    // point lies inside the control points' box (taken from the file with a Python one-liner).
    ExpectPoint(m.vertices.front(), 1.49662, 0.0131926, -0.535702);
    const MeshBounds box = m.Bounds();
    EXPECT_GE(box.min.x, -0.244426 - 1e-5);
    EXPECT_GE(box.min.y, -1.53686 - 1e-5);
    EXPECT_GE(box.min.z, -0.535702 - 1e-5);
    EXPECT_LE(box.max.x, 3.43266 + 1e-5);
    EXPECT_LE(box.max.y, 1.56324 + 1e-5);
    EXPECT_LE(box.max.z, 2.51111 + 1e-5);
    EXPECT_GT(m.BoundingRadius(), 0.5);
}

TEST(GtsReaderTest, FacesPointOutward) {
    for (const char* name : {"models/yade_box.gts", "models/yade_horse.coarse.gts"}) {
        const Mesh m = LoadModelFile(test::DataFile(name));
        EXPECT_GT(SignedVolume6(m), 0.0) << name;
    }
    EXPECT_NEAR(SignedVolume6(LoadModelFile(test::DataFile("models/yade_box.gts"))), 6.0, 1e-5);
}

// A file made for this test: a 10 x 10 quad as a polygon face, and a 3 x 3 Bezier patch over
// [20, 40] x [0, 20] whose middle control point is raised to z = 8. A biquadratic patch peaks at
// 8 * (2 * 0.5 * 0.5)^2 = 2 in its middle.
TEST(Quake3BspReaderTest, PolygonsAndPatches) {
    const Mesh m = LoadModelFile(test::DataFile("models/synthetic_quad_patch.bsp"));
    EXPECT_EQ(m.vertices.size(), 4U + 25U);  // the quad, then 5 x 5 samples of the patch
    EXPECT_EQ(m.triangles.size(), 2U + 32U);
    const MeshBounds box = m.Bounds();
    ExpectPoint(box.min, 0, 0, 0);
    ExpectPoint(box.max, 40, 20, 2);
}

TEST(MeshTest, BoundsRadiusAndNormals) {
    Mesh m;
    EXPECT_EQ(m.BoundingRadius(), 0.0);
    EXPECT_TRUE(m.Bounds().empty);
    m.AddVertex({-1, -2, -3});
    m.AddVertex({3, -2, -3});
    m.AddVertex({-1, 2, -3});
    m.AddVertex({-1, -2, 5});
    m.AddTriangle(0, 1, 2);
    EXPECT_DOUBLE_EQ(m.BoundingRadius(), std::sqrt(4.0 + 4.0 + 16.0));
    m.ComputeNormals();
    ASSERT_EQ(m.normals.size(), 4U);
    ExpectPoint(m.normals[0], 0, 0, 1);
    ExpectPoint(m.normals[3], 0, 0, 1);  // on no triangle
    m.Translate({1, 2, 3});
    ExpectPoint(m.vertices[0], 0, 0, 0);
    EXPECT_THROW(m.AddTriangle(0, 1, 4), Error);
    EXPECT_THROW(m.AddVertex({NAN, 0, 0}), Error);
}

}  // namespace
}  // namespace vistamaze
