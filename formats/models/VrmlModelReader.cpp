#include "engine/Errors.h"
#include "formats/models/ModelReaders.h"
#include "formats/models/VrmlParser.h"
#include "formats/models/VrmlPrimitives.h"
#include "formats/models/VrmlSceneCost.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace vistamaze::models {
namespace {

constexpr int kMaxDepth = 1000;                   // USE chains can nest deeper than the text does
constexpr std::uint64_t kMaxVisits = 10'000'000;  // shared nodes can be reached exponentially often

using Matrix = std::array<double, 16>;  // column-major, column vectors

constexpr Matrix kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[c * 4 + k];
            }
            r[c * 4 + row] = sum;
        }
    }
    return r;
}

Matrix Translation(double x, double y, double z) {
    Matrix m = kIdentity;
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

Matrix Scaling(double x, double y, double z) {
    Matrix m = kIdentity;
    m[0] = x;
    m[5] = y;
    m[10] = z;
    return m;
}

// Rotation by `angle` radians about the axis (x, y, z); a zero axis means no rotation.
Matrix Rotation(double x, double y, double z, double angle) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0)) {
        return kIdentity;
    }
    x /= length;
    y /= length;
    z /= length;
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    return {t * x * x + c,
            t * x * y + s * z,
            t * x * z - s * y,
            0,
            t * x * y - s * z,
            t * y * y + c,
            t * y * z + s * x,
            0,
            t * x * z + s * y,
            t * y * z - s * x,
            t * z * z + c,
            0,
            0,
            0,
            0,
            1};
}

std::array<double, 4> Numbers(const VrmlNode& node, std::string_view field, std::array<double, 4> fallback) {
    const VrmlValue* value = node.Field(field);
    if (value != nullptr) {
        for (std::size_t i = 0; i < fallback.size() && i < value->numbers.size(); ++i) {
            fallback[i] = value->numbers[i];
        }
    }
    return fallback;
}

// T * C * R * SR * S * -SR * -C, the transform of VRML Transform nodes (scale field named
// `scaleField`: "scale" in VRML 2.0, "scaleFactor" in VRML 1.0).
Matrix TransformOf(const VrmlNode& node, std::string_view scaleField) {
    const auto t = Numbers(node, "translation", {0, 0, 0, 0});
    const auto c = Numbers(node, "center", {0, 0, 0, 0});
    const auto r = Numbers(node, "rotation", {0, 0, 1, 0});
    const auto s = Numbers(node, scaleField, {1, 1, 1, 0});
    const auto so = Numbers(node, "scaleOrientation", {0, 0, 1, 0});
    Matrix m = Multiply(Translation(t[0], t[1], t[2]), Translation(c[0], c[1], c[2]));
    m = Multiply(m, Rotation(r[0], r[1], r[2], r[3]));
    m = Multiply(m, Rotation(so[0], so[1], so[2], so[3]));
    m = Multiply(m, Scaling(s[0], s[1], s[2]));
    m = Multiply(m, Rotation(so[0], so[1], so[2], -so[3]));
    return Multiply(m, Translation(-c[0], -c[1], -c[2]));
}

struct State {
    Matrix matrix = kIdentity;
    const std::vector<double>* points = nullptr;  // VRML 1.0: the current Coordinate3
    MeshColor diffuse;
    bool hasDiffuse = false;
};

class SceneWalker {
public:
    explicit SceneWalker(Mesh& target) : target_(target) {}

    void Visit2(const VrmlNode& node, const Matrix& matrix, int depth);
    void Visit1(const VrmlNode& node, State& state, int depth);

private:
    void Count(int depth);
    void VisitNodes2(const VrmlNode& node, std::string_view field, const Matrix& matrix, int depth);
    void Shape2(const VrmlNode& shape, const Matrix& matrix);
    void AddIndexedFaceSet(const std::vector<double>& points, const VrmlNode& faceSet, const Matrix& matrix,
                           const MeshColor* diffuse);
    void AddFaces(const std::vector<double>& points, const std::vector<double>& indices, bool reversed,
                  const Matrix& matrix, const MeshColor* diffuse);

    Mesh& target_;
    std::uint64_t visits_ = 0;
};

void SceneWalker::Count(int depth) {
    if (depth > kMaxDepth || ++visits_ > kMaxVisits) {
        throw Error("scene graph too large");
    }
}

void SceneWalker::AddIndexedFaceSet(const std::vector<double>& points, const VrmlNode& faceSet,
                                    const Matrix& matrix, const MeshColor* diffuse) {
    const VrmlValue* indices = faceSet.Field("coordIndex");
    const VrmlValue* ccw = faceSet.Field("ccw");
    if (indices != nullptr) {
        AddFaces(points, indices->numbers, ccw != nullptr && ccw->word == "FALSE", matrix, diffuse);
    }
}

void SceneWalker::AddFaces(const std::vector<double>& points, const std::vector<double>& indices,
                           bool reversed, const Matrix& matrix, const MeshColor* diffuse) {
    if (points.size() < 3) {
        return;
    }
    const std::size_t pointCount = points.size() / 3;
    target_.BeginPart(diffuse);
    const auto base = static_cast<std::uint32_t>(target_.vertices.size());
    if (pointCount > kMaxMeshVertices - base) {
        throw Error("too many vertices");
    }
    for (std::size_t i = 0; i < pointCount; ++i) {
        const double x = points[3 * i], y = points[3 * i + 1], z = points[3 * i + 2];
        target_.AddVertex({static_cast<float>(matrix[0] * x + matrix[4] * y + matrix[8] * z + matrix[12]),
                           static_cast<float>(matrix[1] * x + matrix[5] * y + matrix[9] * z + matrix[13]),
                           static_cast<float>(matrix[2] * x + matrix[6] * y + matrix[10] * z + matrix[14])});
    }
    std::vector<std::uint32_t> polygon;
    const auto flush = [&]() {
        for (std::size_t k = 2; k < polygon.size(); ++k) {  // fan: faces are taken as convex
            if (reversed) {
                target_.AddTriangle(polygon[0], polygon[k], polygon[k - 1]);
            } else {
                target_.AddTriangle(polygon[0], polygon[k - 1], polygon[k]);
            }
        }
        polygon.clear();
    };
    for (const double index : indices) {
        if (index < 0) {
            flush();
        } else if (index >= static_cast<double>(pointCount) || index != std::floor(index)) {
            throw Error("coordIndex out of range");
        } else {
            polygon.push_back(base + static_cast<std::uint32_t>(index));
        }
    }
    flush();
}

void SceneWalker::Shape2(const VrmlNode& shape, const Matrix& matrix) {
    MeshColor diffuse;
    bool hasDiffuse = false;
    const VrmlValue* appearance = shape.Field("appearance");
    if (appearance != nullptr && !appearance->nodes.empty()) {
        const VrmlValue* material = appearance->nodes.front()->Field("material");
        if (material != nullptr && !material->nodes.empty()) {
            const VrmlValue* colour = material->nodes.front()->Field("diffuseColor");
            hasDiffuse = true;  // a Material without diffuseColor means the default 0.8 grey
            if (colour != nullptr && colour->numbers.size() >= 3) {
                diffuse = {static_cast<float>(colour->numbers[0]), static_cast<float>(colour->numbers[1]),
                           static_cast<float>(colour->numbers[2])};
            }
        }
    }
    const VrmlValue* geometry = shape.Field("geometry");
    if (geometry == nullptr || geometry->nodes.empty()) {
        return;
    }
    const VrmlNode& node = *geometry->nodes.front();
    const MeshColor* colour = hasDiffuse ? &diffuse : nullptr;
    if (VrmlFaceList faces; VrmlPrimitiveFaces(node, faces)) {
        AddFaces(faces.points, faces.indices, false, matrix, colour);
        return;
    }
    const VrmlValue* coord = node.Field("coord");
    if (node.type != "IndexedFaceSet" || coord == nullptr || coord->nodes.empty()) {
        return;
    }
    if (const VrmlValue* points = coord->nodes.front()->Field("point")) {
        AddIndexedFaceSet(points->numbers, node, matrix, colour);
    }
}

void SceneWalker::VisitNodes2(const VrmlNode& node, std::string_view field, const Matrix& matrix, int depth) {
    if (const VrmlValue* value = node.Field(field)) {
        for (const VrmlNodePtr& child : value->nodes) {
            Visit2(*child, matrix, depth + 1);
        }
    }
}

void SceneWalker::Visit2(const VrmlNode& node, const Matrix& matrix, int depth) {
    Count(depth);
    if (node.type == "Transform") {
        VisitNodes2(node, "children", Multiply(matrix, TransformOf(node, "scale")), depth);
    } else if (node.type == "Shape") {
        Shape2(node, matrix);
    } else if (node.type == "Switch") {
        const VrmlValue* which = node.Field("whichChoice");
        const VrmlValue* choice = node.Field("choice");
        if (which != nullptr && !which->numbers.empty() && choice != nullptr && which->numbers[0] >= 0 &&
            which->numbers[0] < static_cast<double>(choice->nodes.size())) {
            Visit2(*choice->nodes[static_cast<std::size_t>(which->numbers[0])], matrix, depth + 1);
        }
    } else if (node.type == "LOD") {
        const VrmlValue* levels = node.Field("level");
        if (levels != nullptr && !levels->nodes.empty()) {
            Visit2(*levels->nodes.front(), matrix, depth + 1);
        }
    } else {
        VisitNodes2(node, "children", matrix, depth);  // Group, Anchor, Billboard, Collision
    }
}

void SceneWalker::Visit1(const VrmlNode& node, State& state, int depth) {
    Count(depth);
    const std::string_view type = node.type;
    if (type == "Separator" || type == "TransformSeparator") {
        State inner = state;
        for (const VrmlNodePtr& child : node.children) {
            Visit1(*child, inner, depth + 1);
        }
        if (type == "TransformSeparator") {  // keeps everything but the transform
            inner.matrix = state.matrix;
            state = inner;
        }
    } else if (type == "Group" || type == "Switch") {
        const auto which = Numbers(node, "whichChoice", {type == "Group" ? -3.0 : -1.0, 0, 0, 0})[0];
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            if (which == -3.0 || which == static_cast<double>(i)) {
                Visit1(*node.children[i], state, depth + 1);
            }
        }
    } else if (type == "Transform") {
        state.matrix = Multiply(state.matrix, TransformOf(node, "scaleFactor"));
    } else if (type == "Translation") {
        const auto t = Numbers(node, "translation", {0, 0, 0, 0});
        state.matrix = Multiply(state.matrix, Translation(t[0], t[1], t[2]));
    } else if (type == "Rotation") {
        const auto r = Numbers(node, "rotation", {0, 0, 1, 0});
        state.matrix = Multiply(state.matrix, Rotation(r[0], r[1], r[2], r[3]));
    } else if (type == "Scale") {
        const auto s = Numbers(node, "scaleFactor", {1, 1, 1, 0});
        state.matrix = Multiply(state.matrix, Scaling(s[0], s[1], s[2]));
    } else if (type == "MatrixTransform") {
        const VrmlValue* m = node.Field("matrix");
        if (m != nullptr && m->numbers.size() == 16) {
            Matrix given{};
            std::copy(m->numbers.begin(), m->numbers.end(), given.begin());
            state.matrix = Multiply(state.matrix, given);
        }
    } else if (type == "Coordinate3") {
        const VrmlValue* points = node.Field("point");
        state.points = points != nullptr ? &points->numbers : nullptr;
    } else if (type == "Material") {
        const VrmlValue* colour = node.Field("diffuseColor");
        if (colour != nullptr && colour->numbers.size() >= 3) {
            state.diffuse = {static_cast<float>(colour->numbers[0]), static_cast<float>(colour->numbers[1]),
                             static_cast<float>(colour->numbers[2])};
            state.hasDiffuse = true;
        }
    } else if (type == "IndexedFaceSet" && state.points != nullptr) {
        AddIndexedFaceSet(*state.points, node, state.matrix, state.hasDiffuse ? &state.diffuse : nullptr);
    }
}

}  // namespace

// VRML 2.0 describes geometry in Shape nodes under grouping nodes; VRML 1.0 in a sequence of
// property nodes (Coordinate3, Material, transforms) that apply to the shapes after them.
void ReadVrmlModel(ByteSpan data, Mesh& target) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    const bool version1 = text.starts_with("#VRML V1.0");
    if (!version1 && !text.starts_with("#VRML V2.0")) {
        throw Error("not a VRML 1.0 or 2.0 file");
    }
    VrmlParser parser(text);
    const std::vector<VrmlNodePtr> roots = parser.ParseFile();
    // Shared nodes can be instanced exponentially often: what the walk would make is counted
    // first, so that a file beyond the budget is refused before it takes memory.
    const VrmlCost cost = CountVrmlScene(roots, version1, kMaxDepth);
    target.RequireRoom(cost.vertices, cost.triangles);
    if (cost.visits > kMaxVisits) {
        throw Error("scene graph too large");
    }
    SceneWalker walker(target);
    State state;
    for (const VrmlNodePtr& root : roots) {
        if (version1) {
            walker.Visit1(*root, state, 0);
        } else {
            walker.Visit2(*root, kIdentity, 0);
        }
    }
    if (!target.parts.empty() && target.parts.back().triangleCount == 0) {
        target.parts.pop_back();
    }
}

}  // namespace vistamaze::models
