#include "formats/Md5Prescan.h"

#include "engine/Errors.h"
#include "formats/PrescanText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace vistamaze::prescan {
namespace {

// The importer links joints to their parents by scanning all joints for each one, recursively.
constexpr std::size_t kMaxJoints = 8192;
constexpr std::size_t kMaxJointDepth = 1000;
// Each frame section reserves room for six values per joint.
constexpr std::uint64_t kMaxFrameValues = std::uint64_t{64} << 20;

enum Kind { kMeshes, kJoints, kVertices, kTriangles, kWeights, kFrames, kComponents, kKinds };
// The fewest bytes of file each counted item takes, e.g. "tri 0 0 0 0".
constexpr std::uint64_t kMinBytes[kKinds] = {8, 8, 12, 8, 12, 8, 2};
constexpr const char* kNames[kKinds] = {"meshes",  "joints", "vertices",           "triangles",
                                        "weights", "frames", "animated components"};

struct Vertex {
    std::uint32_t firstWeight = 0;
    std::uint32_t weightCount = 0;
};

struct Triangle {
    std::array<std::uint32_t, 3> corners{};
    bool given = false;  // a triangle only counted by numtris has no corners at all
};

struct MeshLists {
    std::vector<Vertex> vertices;
    std::vector<Triangle> triangles;
    std::vector<std::uint32_t> weightJoints;
};

struct Joint {
    std::int32_t parent = 0;
    std::uint32_t flags = 0;
    std::uint32_t firstKey = 0;
};

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// A number as the importer's strtoul10 reads it: leading digits, wrapping around in 32 bits.
std::uint32_t Unsigned32(std::string_view word) {
    std::uint32_t value = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

// A number as the importer's strtol10 reads it: an optional sign, then as Unsigned32.
std::int32_t Signed32(std::string_view word) {
    const bool negative = !word.empty() && word.front() == '-';
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    const std::uint32_t value = Unsigned32(word);
    return static_cast<std::int32_t>(negative ? 0U - value : value);
}

// Splits an element into words for Matches: a quoted name is one word, quotes included; each
// parenthesis is a word of its own.
std::vector<std::string_view> ElementWords(std::string_view element) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < element.size()) {
        const char c = element[at];
        if (IsBlank(c)) {
            ++at;
            continue;
        }
        std::size_t end = at + 1;
        if (c == '"') {
            end = element.find('"', at + 1);
            end = end == std::string_view::npos ? element.size() : end + 1;
        } else if (c != '(' && c != ')') {
            while (end < element.size() && !IsBlank(element[end]) && element[end] != '(' &&
                   element[end] != ')' && element[end] != '"') {
                ++end;
            }
        }
        words.push_back(element.substr(at, end - at));
        at = end;
    }
    return words;
}

bool IsInteger(std::string_view word) {
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsReal(std::string_view word) {
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return !word.empty() && error == std::errc() && end == word.data() + word.size();
}

// Whether `element` starts with the words `pattern` describes, one letter each: k a keyword, q a
// quoted name, i an integer, n a number, ( and ) themselves. The importer reads elements with
// pointers that run on into the next line, past the end of the data, when a part is missing.
bool Matches(std::string_view element, std::string_view pattern) {
    const std::vector<std::string_view> words = ElementWords(element);
    if (words.size() < pattern.size()) {
        return false;
    }
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        const std::string_view word = words[k];
        const bool fits = pattern[k] == 'k'   ? true
                          : pattern[k] == 'q' ? word.size() >= 2 && word.front() == '"' && word.back() == '"'
                          : pattern[k] == 'i' ? IsInteger(word)
                          : pattern[k] == 'n' ? IsReal(word)
                                              : word.size() == 1 && word.front() == pattern[k];
        if (!fits) {
            return false;
        }
    }
    return true;
}

// The words of each element the importer reads, by section and first word.
std::string_view PatternOf(std::string_view section, std::string_view first, bool animation) {
    if (!animation && section == "joints") {
        return "qi(nnn)(nnn)";
    }
    if (animation && section == "hierarchy") {
        return "qiii";
    }
    if (animation && section == "baseframe") {
        return "(nnn)(nnn)";
    }
    if (!animation && section == "mesh") {
        struct Entry {
            std::string_view keyword;
            std::string_view pattern;
        };
        static constexpr Entry kMeshElements[] = {
            {"shader", "kq"},     {"numverts", "ki"}, {"numtris", "ki"},       {"numweights", "ki"},
            {"vert", "ki(nn)ii"}, {"tri", "kiiii"},   {"weight", "kiin(nnn)"},
        };
        for (const Entry& e : kMeshElements) {
            if (first == e.keyword) {
                return e.pattern;
            }
        }
    }
    return {};
}

// What follows a quoted name, as the importer skips it.
std::string_view AfterQuotedName(std::string_view element) {
    const std::size_t open = element.find('"');
    if (open == std::string_view::npos) {
        return {};
    }
    const std::size_t close = element.find('"', open + 1);
    return close == std::string_view::npos ? std::string_view() : element.substr(close + 1);
}

class Md5Reader {
public:
    Md5Reader(std::size_t fileBytes, bool animation) : fileBytes_(fileBytes), animation_(animation) {}

    void Line(std::string_view line);
    void Check() const;
    // Whether the last line was a section line with a value after its name.
    [[nodiscard]] bool EndsInValue() const noexcept { return endsInValue_; }

private:
    void Section(std::string_view name, std::string_view rest);
    void MeshElement(std::string_view element);
    void Grow(Kind kind, std::uint64_t size);
    template <typename T>
    void Resize(Kind kind, std::vector<T>& list, std::uint64_t size);
    void CheckHierarchy() const;
    void CheckMesh(const MeshLists& mesh) const;
    void CheckFrames() const;

    std::size_t fileBytes_;
    bool animation_;
    std::string_view section_;
    bool inBraces_ = false;
    bool endsInValue_ = false;
    std::uint64_t total_[kKinds] = {};
    std::vector<MeshLists> meshes_;
    std::vector<Joint> joints_;  // "joints" of a mesh file, "hierarchy" of an animation
    std::uint64_t baseFrames_ = 0;
    std::vector<std::uint64_t> frameValues_;
    std::uint64_t frameReserve_ = 0;  // values each frame section reserves
};

// Counts what the importer will hold against the file's size before it is held here.
void Md5Reader::Grow(Kind kind, std::uint64_t size) {
    total_[kind] = std::min(kUnbounded, total_[kind] + size);
    if (Times(total_[kind], kMinBytes[kind]) > fileBytes_) {
        ClaimsTooMuch(total_[kind], kNames[kind], fileBytes_);
    }
}

template <typename T>
void Md5Reader::Resize(Kind kind, std::vector<T>& list, std::uint64_t size) {
    if (size > list.size()) {
        Grow(kind, size - list.size());
    }
    list.resize(static_cast<std::size_t>(size));
}

void Md5Reader::Line(std::string_view line) {
    std::string_view rest = line;
    const std::string_view first = Word(rest);
    if (first.empty()) {
        return;
    }
    endsInValue_ = false;
    if (!inBraces_) {
        endsInValue_ = !std::all_of(rest.begin(), rest.end(), IsBlank);
        Section(first, rest);
        return;
    }
    if (first.front() == '}') {
        inBraces_ = false;
        return;
    }
    const std::string_view pattern = PatternOf(section_, first, animation_);
    if (!pattern.empty() && !Matches(line, pattern)) {
        throw Error("a line of its " + std::string(section_) + " section is incomplete");
    }
    if (section_ == "mesh") {
        MeshElement(line);
    } else if (section_ == (animation_ ? "hierarchy" : "joints")) {
        Grow(kJoints, 1);
        std::string_view after = AfterQuotedName(line);
        Joint joint;
        joint.parent = Signed32(Word(after));
        joint.flags = Unsigned32(Word(after));
        joint.firstKey = Unsigned32(Word(after));
        joints_.push_back(joint);
    } else if (section_ == "baseframe") {
        ++baseFrames_;
    } else if (section_ == "frame" && !frameValues_.empty()) {
        for (const std::string_view value : ElementWords(line)) {
            if (animation_ && !IsReal(value)) {
                throw Error("a line of its frame section is incomplete");
            }
            ++frameValues_.back();
        }
    }
}

void Md5Reader::Section(std::string_view name, std::string_view rest) {
    section_ = name;
    std::string_view value = Word(rest);
    inBraces_ = value.starts_with('{') || rest.find('{') != std::string_view::npos;
    if (value.starts_with('{')) {
        value = {};
    }
    const std::uint64_t number = Decimal(value);
    if (name == "numMeshes") {
        Grow(kMeshes, number);
    } else if (name == "numJoints") {
        Grow(kJoints, number);
        frameReserve_ = Times(number, 6);
    } else if (name == "numFrames") {
        Grow(kFrames, number);
    } else if (name == "numAnimatedComponents") {
        Grow(kComponents, number);
    } else if (name == "mesh" && inBraces_) {
        meshes_.emplace_back();
    } else if (name == "frame" && inBraces_ && !value.empty()) {
        frameValues_.push_back(0);
        if (Times(frameValues_.size(), frameReserve_) > kMaxFrameValues) {
            throw Error("its frames of " + std::to_string(frameReserve_ / 6) +
                        " joints would need more memory than an animation may have");
        }
    }
}

void Md5Reader::MeshElement(std::string_view element) {
    MeshLists& mesh = meshes_.back();
    std::string_view rest = element;
    const std::string_view keyword = Word(rest);
    const std::uint64_t number = Decimal(Word(rest));
    if (keyword == "numverts") {
        Resize(kVertices, mesh.vertices, number);
    } else if (keyword == "numtris") {
        Resize(kTriangles, mesh.triangles, number);
    } else if (keyword == "numweights") {
        Resize(kWeights, mesh.weightJoints, number);
    } else if (keyword == "vert") {
        Resize(kVertices, mesh.vertices, std::max<std::uint64_t>(mesh.vertices.size(), number + 1));
        // "vert 0 ( u v ) first count"
        const std::size_t close = rest.find(')');
        std::string_view counts =
            close == std::string_view::npos ? std::string_view() : rest.substr(close + 1);
        Vertex& vertex = mesh.vertices[static_cast<std::size_t>(number)];
        vertex.firstWeight = Unsigned32(Word(counts));
        vertex.weightCount = Unsigned32(Word(counts));
    } else if (keyword == "tri") {
        Resize(kTriangles, mesh.triangles, std::max<std::uint64_t>(mesh.triangles.size(), number + 1));
        Triangle& triangle = mesh.triangles[static_cast<std::size_t>(number)];
        for (std::uint32_t& corner : triangle.corners) {
            corner = Unsigned32(Word(rest));
        }
        triangle.given = true;
    } else if (keyword == "weight") {
        Resize(kWeights, mesh.weightJoints, std::max<std::uint64_t>(mesh.weightJoints.size(), number + 1));
        mesh.weightJoints[static_cast<std::size_t>(number)] = Unsigned32(Word(rest));
    }
}

void Md5Reader::CheckHierarchy() const {
    if (joints_.size() > kMaxJoints) {
        throw Error("it has more than " + std::to_string(kMaxJoints) + " joints");
    }
    // The importer walks down from the joints without parent (-1); a joint is never its own child.
    std::vector<std::vector<std::size_t>> children(joints_.size() + 1);
    for (std::size_t i = 0; i < joints_.size(); ++i) {
        const std::int32_t parent = joints_[i].parent;
        if (parent == -1) {
            children.back().push_back(i);
        } else if (parent >= 0 && static_cast<std::size_t>(parent) < joints_.size() &&
                   static_cast<std::size_t>(parent) != i) {
            children[static_cast<std::size_t>(parent)].push_back(i);
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> pending{{joints_.size(), 0}};
    while (!pending.empty()) {
        const auto [joint, depth] = pending.back();
        pending.pop_back();
        if (depth > kMaxJointDepth) {
            throw Error("its joints are nested more than " + std::to_string(kMaxJointDepth) + " levels deep");
        }
        for (const std::size_t child : children[joint]) {
            pending.emplace_back(child, depth + 1);
        }
    }
}

void Md5Reader::CheckMesh(const MeshLists& mesh) const {
    if (mesh.vertices.empty() || mesh.triangles.empty()) {
        return;  // skipped by the importer
    }
    // Every vertex must be used: the importer appends a copy for each further use of a vertex
    // and has room for three per triangle.
    std::vector<bool> used(mesh.vertices.size(), false);
    for (const Triangle& triangle : mesh.triangles) {
        if (!triangle.given) {
            throw Error("its mesh counts more triangles than it gives");
        }
        for (const std::uint32_t corner : triangle.corners) {
            if (corner >= mesh.vertices.size()) {
                throw Error("a triangle refers to a vertex that is not there");
            }
            used[corner] = true;
        }
    }
    if (std::find(used.begin(), used.end(), false) != used.end()) {
        throw Error("its mesh has a vertex that no triangle uses");
    }
    for (const Vertex& vertex : mesh.vertices) {
        const std::uint32_t end = vertex.firstWeight + vertex.weightCount;  // wraps as in the importer
        for (std::uint32_t w = vertex.firstWeight; w < end; ++w) {
            if (w >= mesh.weightJoints.size()) {
                throw Error("a vertex refers to a weight that is not there");
            }
            if (mesh.weightJoints[w] >= joints_.size()) {
                throw Error("a weight refers to a joint that is not there");
            }
        }
    }
}

void Md5Reader::CheckFrames() const {
    if (joints_.empty() || frameValues_.empty() || baseFrames_ != joints_.size()) {
        return;  // the importer makes no animation of it
    }
    for (std::size_t f = 0; f < frameValues_.size(); ++f) {
        const std::uint64_t values = frameValues_[f];
        if (values == 0 && f > 0) {
            continue;
        }
        for (const Joint& joint : joints_) {
            if (joint.firstKey < values &&
                joint.firstKey + static_cast<std::uint64_t>(std::popcount(joint.flags & 63U)) > values) {
                throw Error("the keys of a joint run past the end of a frame");
            }
        }
    }
}

void Md5Reader::Check() const {
    CheckHierarchy();
    if (animation_) {
        CheckFrames();
        return;
    }
    for (const MeshLists& mesh : meshes_) {
        CheckMesh(mesh);
    }
}

// The text as the importer parses it: its comment remover turns "//" comments into blanks and
// steps over quoted text, where an unclosed quote takes it past the end of its buffer (the byte
// after the data is the terminating NUL).
std::string WithoutComments(std::string_view data) {
    std::string text(data);
    const auto at = [&text](std::size_t i) {
        if (i > text.size()) {
            throw Error("a quote in it is not closed, which the MD5 importer cannot read");
        }
        return i < text.size() ? text[i] : '\0';
    };
    for (std::size_t i = 0; at(i) != '\0'; ++i) {
        if (at(i) == '"' || at(i) == '\'') {
            while (at(i++) != '\0' && at(i) != '"' && at(i) != '\'') {
            }
        }
        if (at(i) == '/' && at(i + 1) == '/') {
            for (; !IsLineEnd(at(i)); ++i) {
                text[i] = ' ';
            }
            if (at(i) == '\0') {
                break;
            }
        }
    }
    return text;
}

}  // namespace

void CheckMd5Model(std::span<const std::uint8_t> bytes, bool animation) {
    const std::string cleaned = WithoutComments({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    const std::string_view text = cleaned;
    // Between sections the importer skips blanks and line ends but stops at a form feed, where
    // it then starts empty sections without end.
    if (text.find('\f') != std::string_view::npos) {
        throw Error("it holds a form feed, which the MD5 importer cannot read");
    }
    // The importer's parser stops at a NUL byte in some places and steps over it in others.
    if (text.find('\0') != std::string_view::npos) {
        throw Error("it holds a NUL byte, which the MD5 importer cannot read");
    }
    Md5Reader reader(bytes.size(), animation);
    // The version line, then (after any empty lines) the command line, are not sections.
    enum { kVersion, kCommandLine, kSections } state = kVersion;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && !IsLineEnd(text[end])) {
            ++end;
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (state != kSections) {
            if (state == kCommandLine && end >= text.size()) {
                // Its importer looks for the command line's end past the end of its buffer.
                throw Error("it ends before its command line does, which the MD5 importer needs");
            }
            if (state == kVersion || !line.empty()) {
                state = state == kVersion ? kCommandLine : kSections;
            }
            continue;
        }
        reader.Line(line);
    }
    // A value that ends the data takes the importer past the end of its buffer.
    if (reader.EndsInValue() && !text.empty() && !IsBlank(text.back()) && !IsLineEnd(text.back())) {
        throw Error("its last line has no line end, which the MD5 importer needs");
    }
    if (state != kSections) {
        throw Error("it ends before its command line does, which the MD5 importer needs");
    }
    reader.Check();
}

}  // namespace vistamaze::prescan
