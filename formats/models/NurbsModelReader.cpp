#include "formats/models/ModelReaders.h"
#include "formats/models/TextScanner.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace vistamaze::models {
namespace {

constexpr std::uint64_t kMaxOrder = 16;
constexpr std::uint64_t kMaxDimension = 4096;
constexpr int kStepsPerSpan = 4;
constexpr int kMaxSteps = 256;

struct NurbsSurface {
    std::uint64_t order[2] = {0, 0};      // u, v
    std::uint64_t dimension[2] = {0, 0};  // control points along u, v
    std::vector<double> knots[2];
    std::vector<double> points;    // x, y, z per control point, u varying fastest
    std::vector<double> weights;   // empty: all 1
    bool counterClockwise = true;  // "ccw FALSE" turns the faces the other way
};

std::vector<double> ReadList(TextScanner& text) {
    text.SkipSpace();
    if (text.Peek() != '[') {
        throw Error("'[' expected");
    }
    text.Advance();
    std::vector<double> values;
    for (;;) {
        if (!text.SkipSpace(true)) {
            throw Error("']' expected");
        }
        if (text.Peek() == ']') {
            text.Advance();
            return values;
        }
        values.push_back(text.Number(true));
    }
}

NurbsSurface Parse(TextScanner& text) {
    NurbsSurface s;
    while (text.SkipSpace()) {
        const std::string_view key = text.Word();
        if (key == "uOrder" || key == "vOrder") {
            s.order[key[0] == 'v' ? 1 : 0] = text.Count(kMaxOrder);
        } else if (key == "uDimension" || key == "vDimension") {
            s.dimension[key[0] == 'v' ? 1 : 0] = text.Count(kMaxDimension);
        } else if (key == "uKnot" || key == "vKnot") {
            s.knots[key[0] == 'v' ? 1 : 0] = ReadList(text);
        } else if (key == "controlPoint") {
            s.points = ReadList(text);
        } else if (key == "weight") {
            s.weights = ReadList(text);
        } else if (key == "ccw") {
            text.SkipSpace();
            const std::string_view value = text.Word();
            if (value != "TRUE" && value != "FALSE") {
                throw Error("ccw must be TRUE or FALSE");
            }
            s.counterClockwise = value == "TRUE";
        } else {
            throw Error("unknown keyword");
        }
    }
    return s;
}

void Validate(const NurbsSurface& s) {
    for (int d = 0; d < 2; ++d) {
        const std::vector<double>& k = s.knots[d];
        if (s.order[d] < 2 || s.dimension[d] < s.order[d] || k.size() != s.dimension[d] + s.order[d]) {
            throw Error("inconsistent order, dimension and knot count");
        }
        if (!std::is_sorted(k.begin(), k.end()) || !(k[s.order[d] - 1] < k[s.dimension[d]])) {
            throw Error("knots must increase");
        }
    }
    const std::uint64_t count = s.dimension[0] * s.dimension[1];
    if (s.points.size() != 3 * count || (!s.weights.empty() && s.weights.size() != count)) {
        throw Error("control point count does not match the dimensions");
    }
}

// The non-zero B-spline basis values at t (Cox-de Boor): fills basis[0..order-1] and returns
// the index of the first control point they weigh.
std::uint64_t Basis(const std::vector<double>& knots, std::uint64_t order, std::uint64_t dimension, double t,
                    std::vector<double>& basis) {
    std::uint64_t span = order - 1;
    while (span + 1 < dimension && knots[span + 1] <= t) {
        ++span;
    }
    const std::uint64_t p = order - 1;
    basis.assign(order, 0.0);
    basis[0] = 1.0;
    std::vector<double> left(order, 0.0), right(order, 0.0);
    for (std::uint64_t j = 1; j <= p; ++j) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        double saved = 0.0;
        for (std::uint64_t r = 0; r < j; ++r) {
            const double denominator = right[r + 1] + left[j - r];
            const double temp = denominator != 0.0 ? basis[r] / denominator : 0.0;
            basis[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        basis[j] = saved;
    }
    return span - p;
}

int StepsAlong(const NurbsSurface& s, int d) {
    const auto spans = static_cast<int>(s.dimension[d] - s.order[d] + 1);
    return std::clamp(spans * kStepsPerSpan, 8, kMaxSteps);
}

Vec3f Evaluate(const NurbsSurface& s, double u, double v, std::vector<double>& bu, std::vector<double>& bv) {
    const std::uint64_t iu = Basis(s.knots[0], s.order[0], s.dimension[0], u, bu);
    const std::uint64_t iv = Basis(s.knots[1], s.order[1], s.dimension[1], v, bv);
    double sum[4] = {0, 0, 0, 0};
    for (std::uint64_t b = 0; b < s.order[1]; ++b) {
        for (std::uint64_t a = 0; a < s.order[0]; ++a) {
            const std::uint64_t index = (iv + b) * s.dimension[0] + iu + a;
            const double w = (s.weights.empty() ? 1.0 : s.weights[index]) * bu[a] * bv[b];
            for (int k = 0; k < 3; ++k) {
                sum[k] += w * s.points[3 * index + static_cast<std::uint64_t>(k)];
            }
            sum[3] += w;
        }
    }
    const double w = sum[3] != 0.0 ? sum[3] : 1.0;
    return {static_cast<float>(sum[0] / w), static_cast<float>(sum[1] / w), static_cast<float>(sum[2] / w)};
}

}  // namespace

// The surface is sampled on a regular grid of its parameter domain, a few samples per knot span,
// and each grid cell becomes two triangles.
void ReadNurbsModel(ByteSpan data, Mesh& target) {
    TextScanner text(data);
    const NurbsSurface s = Parse(text);
    Validate(s);
    const int stepsU = StepsAlong(s, 0);
    const int stepsV = StepsAlong(s, 1);
    const double u0 = s.knots[0][s.order[0] - 1], u1 = s.knots[0][s.dimension[0]];
    const double v0 = s.knots[1][s.order[1] - 1], v1 = s.knots[1][s.dimension[1]];
    std::vector<double> bu, bv;
    for (int j = 0; j <= stepsV; ++j) {
        const double v = v0 + (v1 - v0) * j / stepsV;
        for (int i = 0; i <= stepsU; ++i) {
            target.AddVertex(Evaluate(s, u0 + (u1 - u0) * i / stepsU, v, bu, bv));
        }
    }
    const auto row = static_cast<std::uint32_t>(stepsU + 1);
    for (std::uint32_t j = 0; j < static_cast<std::uint32_t>(stepsV); ++j) {
        for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(stepsU); ++i) {
            const std::uint32_t a = j * row + i;
            if (s.counterClockwise) {
                target.AddTriangle(a, a + 1, a + row + 1);
                target.AddTriangle(a, a + row + 1, a + row);
            } else {
                target.AddTriangle(a, a + row + 1, a + 1);
                target.AddTriangle(a, a + row, a + row + 1);
            }
        }
    }
}

}  // namespace vistamaze::models
