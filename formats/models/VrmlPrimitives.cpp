#include "formats/models/VrmlPrimitives.h"

#include <cmath>
#include <numbers>
#include <string_view>

namespace vistamaze::models {
namespace {

constexpr int kSegments = 32;  // around the axis of round primitives
constexpr int kRings = 16;     // from pole to pole of a sphere

double Number(const VrmlNode& node, std::string_view field, std::size_t index, double fallback) {
    const VrmlValue* value = node.Field(field);
    return value != nullptr && value->numbers.size() > index ? value->numbers[index] : fallback;
}

bool Flag(const VrmlNode& node, std::string_view field) {
    const VrmlValue* value = node.Field(field);
    return value == nullptr || value->word != "FALSE";
}

int AddPoint(VrmlFaceList& faces, double x, double y, double z) {
    faces.points.insert(faces.points.end(), {x, y, z});
    return static_cast<int>(faces.points.size() / 3 - 1);
}

void AddFace(VrmlFaceList& faces, std::initializer_list<int> corners) {
    for (const int c : corners) {
        faces.indices.push_back(c);
    }
    faces.indices.push_back(-1);
}

void Box(const VrmlNode& node, VrmlFaceList& faces) {
    const double x = Number(node, "size", 0, 2) / 2, y = Number(node, "size", 1, 2) / 2,
                 z = Number(node, "size", 2, 2) / 2;
    for (int i = 0; i < 8; ++i) {
        AddPoint(faces, (i & 1) != 0 ? x : -x, (i & 2) != 0 ? y : -y, (i & 4) != 0 ? z : -z);
    }
    AddFace(faces, {0, 4, 6, 2});  // -x
    AddFace(faces, {1, 3, 7, 5});  // +x
    AddFace(faces, {0, 1, 5, 4});  // -y
    AddFace(faces, {2, 6, 7, 3});  // +y
    AddFace(faces, {0, 2, 3, 1});  // -z
    AddFace(faces, {4, 5, 7, 6});  // +z
}

void Sphere(const VrmlNode& node, VrmlFaceList& faces) {
    const double r = Number(node, "radius", 0, 1);
    for (int ring = 0; ring <= kRings; ++ring) {
        const double polar = std::numbers::pi * ring / kRings;
        for (int s = 0; s < kSegments; ++s) {
            const double azimuth = 2 * std::numbers::pi * s / kSegments;
            AddPoint(faces, r * std::sin(polar) * std::sin(azimuth), r * std::cos(polar),
                     r * std::sin(polar) * std::cos(azimuth));
        }
    }
    for (int ring = 0; ring < kRings; ++ring) {
        for (int s = 0; s < kSegments; ++s) {
            const int a = ring * kSegments + s, b = ring * kSegments + (s + 1) % kSegments;
            AddFace(faces, {a, a + kSegments, b + kSegments, b});
        }
    }
}

// A cylinder, or a cone when the top radius is 0: side, bottom cap and top cap as asked.
void Round(double bottomRadius, double topRadius, double height, bool side, bool bottom, bool top,
           VrmlFaceList& faces) {
    const int first = static_cast<int>(faces.points.size() / 3);
    for (int s = 0; s < kSegments; ++s) {
        const double azimuth = 2 * std::numbers::pi * s / kSegments;
        AddPoint(faces, bottomRadius * std::sin(azimuth), -height / 2, bottomRadius * std::cos(azimuth));
        AddPoint(faces, topRadius * std::sin(azimuth), height / 2, topRadius * std::cos(azimuth));
    }
    const auto at = [first](int s, int level) { return first + 2 * (s % kSegments) + level; };
    for (int s = 0; side && s < kSegments; ++s) {
        if (topRadius > 0) {
            AddFace(faces, {at(s, 0), at(s + 1, 0), at(s + 1, 1), at(s, 1)});
        } else {
            AddFace(faces, {at(s, 0), at(s + 1, 0), at(s, 1)});
        }
    }
    for (int s = 1; bottom && s + 1 < kSegments; ++s) {
        AddFace(faces, {at(0, 0), at(s + 1, 0), at(s, 0)});
    }
    for (int s = 1; top && topRadius > 0 && s + 1 < kSegments; ++s) {
        AddFace(faces, {at(0, 1), at(s, 1), at(s + 1, 1)});
    }
}

}  // namespace

bool VrmlPrimitiveFaces(const VrmlNode& node, VrmlFaceList& faces) {
    if (node.type == "Box") {
        Box(node, faces);
    } else if (node.type == "Sphere") {
        Sphere(node, faces);
    } else if (node.type == "Cylinder") {
        const double r = Number(node, "radius", 0, 1);
        Round(r, r, Number(node, "height", 0, 2), Flag(node, "side"), Flag(node, "bottom"), Flag(node, "top"),
              faces);
    } else if (node.type == "Cone") {
        Round(Number(node, "bottomRadius", 0, 1), 0, Number(node, "height", 0, 2), Flag(node, "side"),
              Flag(node, "bottom"), false, faces);
    } else {
        return false;
    }
    return true;
}

}  // namespace vistamaze::models
