#pragma once

#include "formats/Mesh.h"

#include <cmath>
#include <cstdint>

namespace vistamaze::bench {

// A UV sphere of radius `radius` with 2 * rings * segments triangles.
inline Mesh SphereMesh(int rings, int segments, float radius) {
    Mesh mesh;
    constexpr double kPi = 3.14159265358979323846;
    for (int r = 0; r <= rings; ++r) {
        const double theta = kPi * r / rings;
        for (int s = 0; s <= segments; ++s) {
            const double phi = 2.0 * kPi * s / segments;
            mesh.AddVertex({static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                            static_cast<float>(radius * std::cos(theta)),
                            static_cast<float>(radius * std::sin(theta) * std::sin(phi))});
        }
    }
    const auto index = [segments](int r, int s) {
        return static_cast<std::uint32_t>(r * (segments + 1) + s);
    };
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            mesh.AddTriangle(index(r, s), index(r + 1, s), index(r + 1, s + 1));
            mesh.AddTriangle(index(r, s), index(r + 1, s + 1), index(r, s + 1));
        }
    }
    mesh.ComputeNormals();
    return mesh;
}

}  // namespace vistamaze::bench
