#include "importer/MeshWire.h"

#include "engine/Errors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace vistamaze::wire {
namespace {

constexpr std::array<char, 8> kMagic = {'V', 'M', 'M', 'E', 'S', 'H', '0', '1'};

struct PartRecord {
    std::uint64_t first;
    std::uint64_t count;
    float r, g, b;
    std::uint32_t hasDiffuse;
};
static_assert(std::is_trivially_copyable_v<PartRecord> && sizeof(PartRecord) == 32);
static_assert(sizeof(Vec3f) == 12 && sizeof(std::array<std::uint32_t, 3>) == 12);

template <typename T>
void Put(std::vector<std::byte>& out, const T& value) {
    const std::size_t at = out.size();
    out.resize(at + sizeof value);
    std::memcpy(out.data() + at, &value, sizeof value);
}

template <typename T>
void PutArray(std::vector<std::byte>& out, const std::vector<T>& values) {
    const auto* p = reinterpret_cast<const std::byte*>(values.data());
    out.insert(out.end(), p, p + values.size() * sizeof(T));
}

std::vector<std::byte> Header(ReplyKind kind) {
    std::vector<std::byte> out;
    out.reserve(64);  // also spares GCC 12 a false -Wstringop-overflow on growing an empty vector
    Put(out, kMagic);
    Put(out, static_cast<std::uint32_t>(kind));
    return out;
}

template <typename T>
T Get(const ReadExactly& read) {
    T value{};
    if (!read(std::as_writable_bytes(std::span(&value, 1)))) {
        throw Error("the reply ends early");
    }
    return value;
}

// Grows `values` by chunks as the data arrives, so a reply that claims more than it holds never
// makes the reader allocate for the claim.
template <typename T>
void GetArray(const ReadExactly& read, std::vector<T>& values, std::size_t count) {
    constexpr std::size_t kChunk = (std::size_t{1} << 20) / sizeof(T);
    values.clear();
    while (values.size() < count) {
        const std::size_t done = values.size();
        const std::size_t step = std::min(kChunk, count - done);
        values.resize(done + step);
        if (!read(std::as_writable_bytes(std::span(values).subspan(done, step)))) {
            throw Error("the reply ends early");
        }
    }
}

std::size_t Count(const ReadExactly& read, const char* what, std::size_t limit) {
    const auto count = Get<std::uint64_t>(read);
    if (count > limit) {
        throw Error("the reply claims " + std::to_string(count) + " " + what);
    }
    return static_cast<std::size_t>(count);
}

bool Finite(const Vec3f& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Mesh DecodeMesh(const ReadExactly& read) {
    Mesh mesh;
    const std::size_t vertices = Count(read, "vertices", kMaxMeshVertices);
    const std::size_t normals = Count(read, "normals", vertices);
    const std::size_t triangles = Count(read, "triangles", kMaxMeshTriangles);
    const std::size_t parts = Count(read, "parts", triangles);
    if (normals != 0 && normals != vertices) {
        throw Error("the reply's normals do not match its vertices");
    }
    GetArray(read, mesh.vertices, vertices);
    GetArray(read, mesh.normals, normals);
    GetArray(read, mesh.triangles, triangles);
    if (!std::all_of(mesh.vertices.begin(), mesh.vertices.end(), Finite) ||
        !std::all_of(mesh.normals.begin(), mesh.normals.end(), Finite)) {
        throw Error("the reply holds a coordinate that is not a finite number");
    }
    for (const auto& t : mesh.triangles) {
        if (t[0] >= vertices || t[1] >= vertices || t[2] >= vertices) {
            throw Error("the reply holds a vertex index out of range");
        }
    }
    std::vector<PartRecord> records;
    GetArray(read, records, parts);
    std::uint64_t next = 0;
    for (const PartRecord& r : records) {
        if (r.first < next || r.count > triangles || r.first > triangles - r.count || r.hasDiffuse > 1) {
            throw Error("the reply holds a part out of order or out of range");
        }
        next = r.first + r.count;
        mesh.parts.push_back({static_cast<std::size_t>(r.first), static_cast<std::size_t>(r.count),
                              MeshColor{r.r, r.g, r.b}, r.hasDiffuse == 1});
    }
    return mesh;
}

}  // namespace

std::vector<std::byte> EncodeMesh(const Mesh& mesh) {
    std::vector<std::byte> out = Header(ReplyKind::Mesh);
    out.reserve(out.size() + 32 + (mesh.vertices.size() + mesh.normals.size()) * sizeof(Vec3f) +
                mesh.triangles.size() * 12 + mesh.parts.size() * sizeof(PartRecord));
    Put(out, static_cast<std::uint64_t>(mesh.vertices.size()));
    Put(out, static_cast<std::uint64_t>(mesh.normals.size()));
    Put(out, static_cast<std::uint64_t>(mesh.triangles.size()));
    Put(out, static_cast<std::uint64_t>(mesh.parts.size()));
    PutArray(out, mesh.vertices);
    PutArray(out, mesh.normals);
    PutArray(out, mesh.triangles);
    for (const MeshPart& p : mesh.parts) {
        Put(out, PartRecord{p.firstTriangle, p.triangleCount, p.diffuse.r, p.diffuse.g, p.diffuse.b,
                            p.hasDiffuse ? 1U : 0U});
    }
    return out;
}

std::vector<std::byte> EncodeFailure(const std::string& message) {
    std::vector<std::byte> out = Header(ReplyKind::Failure);
    const std::size_t length = std::min(message.size(), kMaxMessageBytes);
    Put(out, static_cast<std::uint32_t>(length));
    const auto* p = reinterpret_cast<const std::byte*>(message.data());
    out.insert(out.end(), p, p + length);
    return out;
}

std::vector<std::byte> EncodeOutOfMemory() {
    return Header(ReplyKind::OutOfMemory);
}

Reply DecodeReply(const ReadExactly& read) {
    if (Get<std::array<char, 8>>(read) != kMagic) {
        throw Error("the reply does not start as one");
    }
    Reply reply;
    switch (static_cast<ReplyKind>(Get<std::uint32_t>(read))) {
        case ReplyKind::Mesh:
            reply = DecodeMesh(read);
            break;
        case ReplyKind::Failure: {
            const auto length = Get<std::uint32_t>(read);
            if (length > kMaxMessageBytes) {
                throw Error("the reply's message is too long");
            }
            std::vector<char> text;
            GetArray(read, text, length);
            reply = Failure{std::string(text.begin(), text.end())};
            break;
        }
        case ReplyKind::OutOfMemory:
            reply = OutOfMemory{};
            break;
        default:
            throw Error("the reply is of an unknown kind");
    }
    std::byte extra{};
    if (read(std::span(&extra, 1))) {
        throw Error("the reply goes on past its end");
    }
    return reply;
}

}  // namespace vistamaze::wire
