#include "formats/models/VrmlSceneCost.h"

#include "engine/Errors.h"
#include "formats/models/VrmlPrimitives.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

namespace vistamaze::models {
namespace {

std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
    return std::min(kVrmlCountLimit, a + b);
}

void Accumulate(VrmlCost& total, const VrmlCost& part) {
    total.visits = Add(total.visits, part.visits);
    total.vertices = Add(total.vertices, part.vertices);
    total.triangles = Add(total.triangles, part.triangles);
}

using Points = const std::vector<double>*;

class SceneCounter {
public:
    explicit SceneCounter(int maxDepth) : maxDepth_(maxDepth) {}

    // VRML 2.0: a node's cost depends on the node alone.
    VrmlCost Node2(const VrmlNode& node, int depth);
    // VRML 1.0: a node's cost depends on the coordinates in scope, which it may change for the
    // nodes after it (`points`).
    VrmlCost Node1(const VrmlNode& node, Points& points, int depth);

private:
    void Enter(int depth) const {
        if (depth > maxDepth_) {
            throw Error("scene graph too large");
        }
    }
    VrmlCost Children2(const VrmlNode& node, std::string_view field, int depth);
    static VrmlCost Shape2(const VrmlNode& shape);
    VrmlCost Uncached1(const VrmlNode& node, Points& points, int depth);

    int maxDepth_;
    std::map<const VrmlNode*, VrmlCost> known2_;
    std::map<std::pair<const VrmlNode*, Points>, std::pair<VrmlCost, Points>> known1_;
};

VrmlCost SceneCounter::Children2(const VrmlNode& node, std::string_view field, int depth) {
    VrmlCost cost;
    if (const VrmlValue* value = node.Field(field)) {
        for (const VrmlNodePtr& child : value->nodes) {
            Accumulate(cost, Node2(*child, depth + 1));
        }
    }
    return cost;
}

VrmlCost SceneCounter::Shape2(const VrmlNode& shape) {
    const VrmlValue* geometry = shape.Field("geometry");
    if (geometry == nullptr || geometry->nodes.empty()) {
        return {};
    }
    const VrmlNode& node = *geometry->nodes.front();
    if (VrmlFaceList faces; VrmlPrimitiveFaces(node, faces)) {
        return CountVrmlFaces(faces.points, faces.indices);
    }
    const VrmlValue* coord = node.Field("coord");
    const VrmlValue* indices = node.Field("coordIndex");
    if (node.type != "IndexedFaceSet" || coord == nullptr || coord->nodes.empty() || indices == nullptr) {
        return {};
    }
    const VrmlValue* points = coord->nodes.front()->Field("point");
    return points != nullptr ? CountVrmlFaces(points->numbers, indices->numbers) : VrmlCost{};
}

VrmlCost SceneCounter::Node2(const VrmlNode& node, int depth) {
    Enter(depth);
    if (const auto found = known2_.find(&node); found != known2_.end()) {
        return found->second;
    }
    VrmlCost cost;
    if (node.type == "Transform") {
        cost = Children2(node, "children", depth);
    } else if (node.type == "Shape") {
        cost = Shape2(node);
    } else if (node.type == "Switch") {
        const VrmlValue* which = node.Field("whichChoice");
        const VrmlValue* choice = node.Field("choice");
        if (which != nullptr && !which->numbers.empty() && choice != nullptr && which->numbers[0] >= 0 &&
            which->numbers[0] < static_cast<double>(choice->nodes.size())) {
            cost = Node2(*choice->nodes[static_cast<std::size_t>(which->numbers[0])], depth + 1);
        }
    } else if (node.type == "LOD") {
        const VrmlValue* levels = node.Field("level");
        if (levels != nullptr && !levels->nodes.empty()) {
            cost = Node2(*levels->nodes.front(), depth + 1);
        }
    } else {
        cost = Children2(node, "children", depth);
    }
    cost.visits = Add(cost.visits, 1);
    known2_.emplace(&node, cost);
    return cost;
}

VrmlCost SceneCounter::Uncached1(const VrmlNode& node, Points& points, int depth) {
    VrmlCost cost;
    const std::string_view type = node.type;
    if (type == "Separator" || type == "TransformSeparator") {
        Points inner = points;
        for (const VrmlNodePtr& child : node.children) {
            Accumulate(cost, Node1(*child, inner, depth + 1));
        }
        if (type == "TransformSeparator") {  // keeps everything but the transform
            points = inner;
        }
    } else if (type == "Group" || type == "Switch") {
        const VrmlValue* which = node.Field("whichChoice");
        const double choice =
            which != nullptr && !which->numbers.empty() ? which->numbers[0] : (type == "Group" ? -3.0 : -1.0);
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            if (choice == -3.0 || choice == static_cast<double>(i)) {
                Accumulate(cost, Node1(*node.children[i], points, depth + 1));
            }
        }
    } else if (type == "Coordinate3") {
        const VrmlValue* point = node.Field("point");
        points = point != nullptr ? &point->numbers : nullptr;
    } else if (type == "IndexedFaceSet" && points != nullptr) {
        if (const VrmlValue* indices = node.Field("coordIndex")) {
            cost = CountVrmlFaces(*points, indices->numbers);
        }
    }
    cost.visits = Add(cost.visits, 1);
    return cost;
}

VrmlCost SceneCounter::Node1(const VrmlNode& node, Points& points, int depth) {
    Enter(depth);
    const auto key = std::make_pair(&node, points);
    if (const auto found = known1_.find(key); found != known1_.end()) {
        points = found->second.second;
        return found->second.first;
    }
    const VrmlCost cost = Uncached1(node, points, depth);
    known1_.emplace(key, std::make_pair(cost, points));
    return cost;
}

}  // namespace

VrmlCost CountVrmlFaces(const std::vector<double>& points, const std::vector<double>& indices) {
    VrmlCost cost;
    if (points.size() < 3) {
        return cost;
    }
    cost.vertices = points.size() / 3;
    std::uint64_t corners = 0;
    const auto flush = [&]() {
        cost.triangles += corners > 2 ? corners - 2 : 0;
        corners = 0;
    };
    for (const double index : indices) {
        if (index < 0) {
            flush();
        } else {
            ++corners;
        }
    }
    flush();
    return cost;
}

VrmlCost CountVrmlScene(const std::vector<VrmlNodePtr>& roots, bool version1, int maxDepth) {
    SceneCounter counter(maxDepth);
    VrmlCost cost;
    Points points = nullptr;
    for (const VrmlNodePtr& root : roots) {
        Accumulate(cost, version1 ? counter.Node1(*root, points, 0) : counter.Node2(*root, 0));
    }
    return cost;
}

}  // namespace vistamaze::models
