#pragma once

#include <cmath>

namespace vistamaze {

// A double-precision 3D vector for scene geometry (positions in scene units, unit directions).
struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    friend constexpr Vec3 operator+(Vec3 a, Vec3 b) noexcept { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend constexpr Vec3 operator-(Vec3 a, Vec3 b) noexcept { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend constexpr Vec3 operator-(Vec3 a) noexcept { return {-a.x, -a.y, -a.z}; }
    friend constexpr Vec3 operator*(Vec3 a, double s) noexcept { return {a.x * s, a.y * s, a.z * s}; }
    friend constexpr Vec3 operator*(double s, Vec3 a) noexcept { return a * s; }
    friend constexpr bool operator==(Vec3 a, Vec3 b) noexcept = default;
};

[[nodiscard]] constexpr double Dot(Vec3 a, Vec3 b) noexcept {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

[[nodiscard]] constexpr Vec3 Cross(Vec3 a, Vec3 b) noexcept {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

[[nodiscard]] inline double Length(Vec3 a) noexcept {
    return std::sqrt(Dot(a, a));
}

// The unit vector along `a`; a zero vector stays zero.
[[nodiscard]] inline Vec3 Normalized(Vec3 a) noexcept {
    const double len = Length(a);
    return len > 0.0 ? a * (1.0 / len) : a;
}

[[nodiscard]] constexpr double DegToRad(double degrees) noexcept {
    return degrees * 3.14159265358979323846 / 180.0;
}

// Turns `v` about the unit axis `axis` by `degrees`, counter-clockwise seen from the axis' tip.
[[nodiscard]] inline Vec3 RotateAboutAxis(Vec3 v, Vec3 axis, double degrees) noexcept {
    const double a = DegToRad(degrees);
    const double c = std::cos(a);
    const double s = std::sin(a);
    return v * c + Cross(axis, v) * s + axis * (Dot(axis, v) * (1.0 - c));
}

}  // namespace vistamaze
