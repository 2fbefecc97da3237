#include "formats/ModelPrescan.h"

#include "engine/Errors.h"
#include "formats/Md5Prescan.h"
#include "formats/Mesh.h"
#include "formats/PrescanText.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace vistamaze {
namespace {

using namespace prescan;

// --- PLY ---

enum class PlyFormat { kAscii, kLittleEndian, kBigEndian };

struct PlyType {
    std::uint8_t bytes = 0;  // 0: a type the importer does not know
    bool isSigned = false;
    bool isFloat = false;
};

PlyType PlyTypeNamed(std::string_view name) {
    struct Entry {
        std::string_view name;
        PlyType type;
    };
    static constexpr Entry kTypes[] = {
        {"char", {1, true, false}},    {"int8", {1, true, false}},    {"uchar", {1, false, false}},
        {"uint8", {1, false, false}},  {"short", {2, true, false}},   {"int16", {2, true, false}},
        {"ushort", {2, false, false}}, {"uint16", {2, false, false}}, {"int", {4, true, false}},
        {"int32", {4, true, false}},   {"uint", {4, false, false}},   {"uint32", {4, false, false}},
        {"float", {4, true, true}},    {"float32", {4, true, true}},  {"double", {8, true, true}},
        {"double64", {8, true, true}}, {"float64", {8, true, true}},
    };
    for (const Entry& entry : kTypes) {
        if (entry.name == name) {
            return entry.type;
        }
    }
    return {};
}

struct PlyProperty {
    bool isList = false;
    PlyType count;  // lists only
    PlyType item;
};

struct PlyElement {
    std::string name;
    std::uint64_t count = 0;
    std::vector<PlyProperty> properties;
    bool closed = false;  // the importer stops taking properties after one it cannot read

    [[nodiscard]] bool HasList() const {
        return std::any_of(properties.begin(), properties.end(),
                           [](const PlyProperty& p) { return p.isList; });
    }
    // The fewest bytes one instance takes: lists may be empty.
    [[nodiscard]] std::uint64_t MinBytes(PlyFormat format) const {
        std::uint64_t bytes = 0;
        for (const PlyProperty& p : properties) {
            bytes += format == PlyFormat::kAscii ? 2 : (p.isList ? p.count.bytes : p.item.bytes);
        }
        return std::max<std::uint64_t>(bytes, 1);
    }
};

struct PlyHeader {
    PlyFormat format = PlyFormat::kAscii;
    std::vector<PlyElement> elements;
    std::size_t bodyStart = 0;
};

void ReadPlyProperty(std::string_view line, PlyElement& element) {
    PlyProperty property;
    std::string_view type = Word(line);
    if (type == "list") {
        property.isList = true;
        property.count = PlyTypeNamed(Word(line));
        type = property.count.bytes != 0 ? Word(line) : std::string_view();
    }
    property.item = PlyTypeNamed(type);
    if (property.item.bytes == 0 || Word(line).empty()) {
        element.closed = true;
        return;
    }
    element.properties.push_back(property);
}

PlyHeader ReadPlyHeader(std::span<const std::uint8_t> bytes) {
    PlyHeader header;
    Lines lines(bytes);
    std::string_view line;
    lines.Next(line);  // "ply"
    while (lines.Next(line)) {
        const std::string_view keyword = Word(line);
        if (keyword == "end_header") {
            header.bodyStart = lines.Offset();
            return header;
        }
        if (keyword == "format") {
            const std::string_view format = Word(line);
            header.format = format == "binary_little_endian" ? PlyFormat::kLittleEndian
                            : format == "binary_big_endian"  ? PlyFormat::kBigEndian
                                                             : PlyFormat::kAscii;
        } else if (keyword == "element") {
            if (!header.elements.empty()) {
                header.elements.back().closed = true;
            }
            PlyElement element;
            element.name = Word(line);
            const std::string_view count = Word(line);
            if (!count.empty()) {  // the importer skips an element line without a count
                element.count = Decimal(count);
                header.elements.push_back(std::move(element));
            }
        } else if (keyword == "property") {
            if (!header.elements.empty() && !header.elements.back().closed) {
                ReadPlyProperty(line, header.elements.back());
            }
        } else if (keyword != "comment" && !header.elements.empty()) {
            header.elements.back().closed = true;
        }
    }
    throw Error("its PLY header has no end_header line");
}

// An ASCII body holds one element instance per line; a list's count needs as many words after
// it on the line.
void CheckPlyAsciiLists(std::span<const std::uint8_t> bytes, const PlyHeader& header) {
    Lines lines(bytes, header.bodyStart);
    std::string_view line;
    for (const PlyElement& element : header.elements) {
        const bool hasList = element.HasList();
        for (std::uint64_t i = 0; i < element.count; ++i) {
            do {
                if (!lines.Next(line)) {
                    return;  // a short body: the importer fills in defaults
                }
            } while (std::all_of(line.begin(), line.end(), IsBlank));
            if (!hasList) {
                continue;
            }
            for (const PlyProperty& property : element.properties) {
                const std::string_view word = Word(line);
                if (word.empty()) {
                    break;
                }
                if (!property.isList) {
                    continue;
                }
                const bool negative = word.front() == '-' && Decimal(word.substr(1)) != 0;
                const std::uint64_t items =
                    negative ? kUnbounded : Decimal(word.front() == '+' ? word.substr(1) : word);
                for (std::uint64_t k = 0; k < items; ++k) {
                    if (Word(line).empty()) {
                        throw Error("a list in its " + element.name + " elements is longer than its line");
                    }
                }
            }
        }
    }
}

std::uint64_t ReadPlyCount(std::span<const std::uint8_t> bytes, std::size_t at, PlyType type,
                           bool bigEndian) {
    std::uint64_t raw = 0;
    for (std::size_t k = 0; k < type.bytes; ++k) {
        const std::size_t shift = 8 * (bigEndian ? type.bytes - 1 - k : k);
        raw |= static_cast<std::uint64_t>(bytes[at + k]) << shift;
    }
    if (type.isFloat) {
        const double value = type.bytes == 4
                                 ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                                 : std::bit_cast<double>(raw);
        return value >= 0.0 && value < 4294967296.0 ? static_cast<std::uint64_t>(value) : kUnbounded;
    }
    if (type.isSigned && (raw >> (8 * type.bytes - 1)) != 0) {
        return kUnbounded;  // negative: the importer takes it for a huge unsigned count
    }
    return raw;
}

// A binary body is walked instance by instance wherever lists make its size vary.
void WalkPlyBinary(std::span<const std::uint8_t> bytes, const PlyHeader& header) {
    const bool bigEndian = header.format == PlyFormat::kBigEndian;
    std::size_t at = header.bodyStart;
    for (const PlyElement& element : header.elements) {
        const auto runsPast = [&element]() {
            return Error("its " + element.name + " elements run past the end of the file");
        };
        if (!element.HasList()) {
            std::uint64_t size = 0;
            for (const PlyProperty& property : element.properties) {
                size += property.item.bytes;
            }
            if (Times(element.count, size) > bytes.size() - at) {
                throw runsPast();
            }
            at += static_cast<std::size_t>(element.count * size);
            continue;
        }
        for (std::uint64_t i = 0; i < element.count; ++i) {
            for (const PlyProperty& property : element.properties) {
                std::uint64_t size = property.isList ? property.count.bytes : property.item.bytes;
                if (size > bytes.size() - at) {
                    throw runsPast();
                }
                if (property.isList) {
                    const std::uint64_t items = ReadPlyCount(bytes, at, property.count, bigEndian);
                    size += Times(items, property.item.bytes);
                    if (size > bytes.size() - at) {
                        throw Error("a list of " + std::to_string(items) + " items in its " + element.name +
                                    " elements runs past the end of the file");
                    }
                }
                at += static_cast<std::size_t>(size);
            }
        }
    }
}

void CheckPly(std::span<const std::uint8_t> bytes) {
    const PlyHeader header = ReadPlyHeader(bytes);
    // Lines of an ASCII body may lack their last line end.
    const std::uint64_t body = bytes.size() - header.bodyStart + (header.format == PlyFormat::kAscii ? 1 : 0);
    std::uint64_t needed = 0;
    for (const PlyElement& element : header.elements) {
        needed = std::min(kUnbounded, needed + Times(element.count, element.MinBytes(header.format)));
        if (needed > body) {
            ClaimsTooMuch(element.count, element.name + " elements", bytes.size());
        }
    }
    if (header.format == PlyFormat::kAscii) {
        CheckPlyAsciiLists(bytes, header);
    } else {
        WalkPlyBinary(bytes, header);
    }
}

// --- OFF ---

// Skips blanks, line ends and lines starting with '#', as the importer does between header words.
std::size_t SkipOffSpace(std::string_view text, std::size_t at) {
    for (;;) {
        while (at < text.size() && (IsBlank(text[at]) || text[at] == '\n')) {
            ++at;
        }
        if (at >= text.size() || text[at] != '#') {
            return at;
        }
        while (at < text.size() && text[at] != '\n') {
            ++at;
        }
    }
}

std::uint64_t OffNumber(std::string_view text, std::size_t& at) {
    at = SkipOffSpace(text, at);
    std::size_t end = at;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '\n') {
        ++end;
    }
    const std::uint64_t value = Decimal(text.substr(at, end - at));
    at = end;
    return value;
}

void CheckOff(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t at = SkipOffSpace(text, 0);
    // Optional prefixes of the keyword: ST (texture coordinates), C, N, 4 (homogeneous), n
    // (dimension given); without the keyword the counts come first.
    const auto skip = [&](std::string_view prefix) {
        if (text.substr(at).starts_with(prefix)) {
            at += prefix.size();
            return true;
        }
        return false;
    };
    skip("ST");
    skip("C");
    skip("N");
    skip("4");
    const bool dimensionGiven = skip("n");
    skip("OFF");
    std::uint64_t dimensions = 3;
    if (dimensionGiven) {
        dimensions = OffNumber(text, at);
    }
    const std::uint64_t vertices = OffNumber(text, at);
    const std::uint64_t faces = OffNumber(text, at);
    // A vertex line holds a number and a blank per coordinate, a face line at least a count.
    const std::uint64_t needed =
        std::min(kUnbounded, Times(vertices, std::max<std::uint64_t>(2 * dimensions, 2)) + Times(faces, 2));
    if (needed > bytes.size() + 1) {
        ClaimsTooMuch(vertices, "vertices and " + std::to_string(faces) + " faces", bytes.size());
    }
}

// --- STL ---

// A binary STL is an 80-byte header, a triangle count and 50 bytes per triangle. The importer
// takes a file for binary when that size, computed in 32 bits, matches the file's: a count that
// wraps around must not pass.
void CheckStl(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 84) {
        return;
    }
    const std::uint32_t count =
        static_cast<std::uint32_t>(bytes[80]) | static_cast<std::uint32_t>(bytes[81]) << 8 |
        static_cast<std::uint32_t>(bytes[82]) << 16 | static_cast<std::uint32_t>(bytes[83]) << 24;
    const std::uint64_t binarySize = 84 + std::uint64_t{50} * count;
    if (static_cast<std::uint32_t>(binarySize) != static_cast<std::uint32_t>(bytes.size())) {
        return;  // not taken for binary
    }
    if (binarySize != bytes.size()) {
        ClaimsTooMuch(count, "triangles", bytes.size());
    }
    Mesh().RequireRoom(0, count);
}

// --- SMD ---

std::string Lower(std::string_view word) {
    std::string lower(word);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return lower;
}

// The SMD importer's parser stops advancing at a NUL byte, and at the end of the data inside a
// section, and loops there without end; an "end" that ends the data takes it past its buffer.
void CheckSmd(std::span<const std::uint8_t> bytes) {
    if (std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) != bytes.end()) {
        throw Error("it holds a NUL byte, which the SMD importer cannot read");
    }
    std::string open;
    std::string closedLast;
    // The importer keeps one bone per node number up to the highest; a node list numbers its
    // nodes from 0, one a line.
    std::uint64_t nodeLines = 0;
    std::uint64_t highestNode = 0;
    Lines lines(bytes);
    std::string_view line;
    while (lines.Next(line)) {
        const std::string keyword = Lower(Word(line));
        closedLast.clear();
        if (open == "nodes" && keyword != "end" && !keyword.empty()) {
            ++nodeLines;
            highestNode = std::max(highestNode, Decimal(keyword));
        }
        if (!open.empty() && keyword == "end") {
            closedLast = std::exchange(open, std::string());
        } else if (open.empty() && (keyword == "nodes" || keyword == "skeleton" || keyword == "triangles" ||
                                    keyword == "vertexanimation")) {
            open = keyword;
        }
    }
    if (!open.empty()) {
        throw Error("its " + open + " section has no end, which the SMD importer needs");
    }
    if (highestNode >= nodeLines && highestNode > 0) {
        throw Error("it numbers a node " + std::to_string(highestNode) + " in a list of " +
                    std::to_string(nodeLines) + " nodes, which the SMD importer cannot hold");
    }
    // The node and skeleton sections step over the character after their "end".
    if ((closedLast == "nodes" || closedLast == "skeleton") && bytes.back() != '\n') {
        throw Error("its last line has no line end, which the SMD importer needs");
    }
}

// --- Collada and glTF ---

// The Collada importer reads nested XML elements, and the glTF one nested JSON values, by
// recursion: a deep enough file overflows the stack.
constexpr std::uint64_t kMaxNesting = 1000;

[[noreturn]] void NestedTooDeep() {
    throw Error("its elements are nested more than " + std::to_string(kMaxNesting) + " levels deep");
}

void CheckXmlNesting(std::string_view text) {
    std::uint64_t depth = 0;
    std::size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        const std::string_view tag = text.substr(at);
        std::string_view close = ">";
        if (tag.starts_with("<!--")) {
            close = "-->";
        } else if (tag.starts_with("<![CDATA[")) {
            close = "]]>";
        }
        const std::size_t end = text.find(close, at + 1);
        if (end == std::string_view::npos) {
            return;
        }
        const bool opens = close == ">" && tag.size() > 1 && tag[1] != '/' && tag[1] != '?' &&
                           tag[1] != '!' && text[end - 1] != '/';
        if (tag.starts_with("</")) {
            depth -= depth > 0 ? 1 : 0;
        } else if (opens && ++depth > kMaxNesting) {
            NestedTooDeep();
        }
        at = end + close.size();
    }
}

// Index lists (<p>, <vcount>, <v>, <h>) are read number after number until the text ends; any
// other character stops the reader from advancing while it goes on adding indices.
void CheckColladaIndexLists(std::string_view text) {
    for (const std::string_view tag : {"p", "vcount", "v", "h"}) {
        // Built by appending: GCC 12 warns falsely about "literal" + std::string (its bug 105651).
        std::string open(1, '<');
        open.append(tag).push_back('>');
        std::string close("</");
        close.append(tag).push_back('>');
        for (std::size_t at = text.find(open); at != std::string_view::npos; at = text.find(open, at)) {
            at += open.size();
            const std::size_t end = text.find(close, at);
            const std::string_view list =
                text.substr(at, end == std::string_view::npos ? text.npos : end - at);
            if (!std::all_of(list.begin(), list.end(), [](char c) {
                    return (c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '\r' || c == '\n';
                })) {
                throw Error(
                    "an index list in it holds more than numbers, which the Collada importer cannot read");
            }
        }
    }
}

void CheckJsonNesting(std::string_view text) {
    std::uint64_t depth = 0;
    bool inString = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (inString) {
            at += c == '\\' ? 1 : 0;
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if ((c == '[' || c == '{') && ++depth > kMaxNesting) {
            NestedTooDeep();
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
}

}  // namespace

void CheckModelCounts(std::span<const std::uint8_t> bytes, std::string_view extension) {
    if (extension == "ply") {
        CheckPly(bytes);
    } else if (extension == "off") {
        CheckOff(bytes);
    } else if (extension == "md5mesh" || extension == "md5anim") {
        CheckMd5Model(bytes, extension == "md5anim");
    } else if (extension == "stl") {
        CheckStl(bytes);
    } else if (extension == "smd") {
        CheckSmd(bytes);
    } else if (extension == "dae") {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        CheckXmlNesting(text);
        CheckColladaIndexLists(text);
    } else if (extension == "gltf") {
        CheckJsonNesting(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
}

}  // namespace vistamaze
