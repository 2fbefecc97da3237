// The importer's replies are checked before use: a reply cut anywhere, lengthened, or holding
// counts, indices, coordinates or parts out of range is refused with its reason.
#include "engine/Errors.h"
#include "importer/MeshWire.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <variant>

#include <gtest/gtest.h>

namespace vistamaze::wire {
namespace {

Mesh Square() {
    Mesh mesh;
    for (const Vec3f v : {Vec3f{0, 0, 0}, Vec3f{1, 0, 0}, Vec3f{1, 1, 0}, Vec3f{0, 1, 0}}) {
        mesh.AddVertex(v);
    }
    const MeshColor red{1.0F, 0.0F, 0.0F};
    mesh.BeginPart(&red);
    mesh.AddTriangle(0, 1, 2);
    mesh.AddTriangle(0, 2, 3);
    mesh.ComputeNormals();
    return mesh;
}

Reply Decode(const std::vector<std::byte>& bytes) {
    std::size_t at = 0;
    return DecodeReply([&](std::span<std::byte> out) {
        if (bytes.size() - at < out.size()) {
            return false;
        }
        std::memcpy(out.data(), bytes.data() + at, out.size());
        at += out.size();
        return true;
    });
}

std::string Refusal(const std::vector<std::byte>& bytes) {
    try {
        static_cast<void>(Decode(bytes));
    } catch (const Error& e) {
        return e.what();
    }
    return "(accepted)";
}

template <typename T>
void Poke(std::vector<std::byte>& bytes, std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

TEST(MeshWireTest, ARoundTripKeepsTheMeshAndEveryMessage) {
    const Mesh square = Square();
    const Mesh back = std::get<Mesh>(Decode(EncodeMesh(square)));
    EXPECT_EQ(back.triangles, square.triangles);
    EXPECT_EQ(back.vertices.size(), 4U);
    EXPECT_EQ(back.normals.size(), 4U);
    ASSERT_EQ(back.parts.size(), 1U);
    EXPECT_EQ(back.parts[0].triangleCount, 2U);
    EXPECT_TRUE(back.parts[0].hasDiffuse);
    EXPECT_EQ(back.parts[0].diffuse.r, 1.0F);
    EXPECT_EQ(std::get<Failure>(Decode(EncodeFailure("why"))).message, "why");
    EXPECT_TRUE(std::holds_alternative<OutOfMemory>(Decode(EncodeOutOfMemory())));
}

TEST(MeshWireTest, DamagedRepliesAreRefusedWithTheirReason) {
    const std::vector<std::byte> good = EncodeMesh(Square());
    // Offsets: magic 0, kind 8, counts 12 (vertices), 20 (normals), 28 (triangles), 36 (parts),
    // vertices from 44, normals from 92, triangles from 140, the part from 164.
    const auto with = [&good](auto change) {
        std::vector<std::byte> bytes = good;
        change(bytes);
        return bytes;
    };
    const struct {
        std::vector<std::byte> bytes;
        const char* reason;
    } cases[] = {
        {with([](auto& b) { b[0] = std::byte{'X'}; }), "the reply does not start as one"},
        {with([](auto& b) { Poke<std::uint32_t>(b, 8, 9); }), "the reply is of an unknown kind"},
        {with([](auto& b) { Poke<std::uint64_t>(b, 12, std::uint64_t{1} << 40); }),
         "the reply claims 1099511627776 vertices"},
        {with([](auto& b) { Poke<std::uint64_t>(b, 20, 3); }),
         "the reply's normals do not match its vertices"},
        {with([](auto& b) { Poke<std::uint64_t>(b, 28, 1'000'000); }), "the reply ends early"},
        {with([](auto& b) { Poke<std::uint32_t>(b, 140, 4); }),
         "the reply holds a vertex index out of range"},
        {with([](auto& b) { Poke(b, 48, std::numeric_limits<float>::quiet_NaN()); }),
         "the reply holds a coordinate that is not a finite number"},
        {with([](auto& b) { Poke<std::uint64_t>(b, 172, 3); }),
         "the reply holds a part out of order or out of range"},
        {with([](auto& b) { b.push_back(std::byte{0}); }), "the reply goes on past its end"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Refusal(c.bytes), c.reason);
    }
    for (std::size_t length = 0; length < good.size(); ++length) {
        const std::string refusal = Refusal(std::vector<std::byte>(good.begin(), good.begin() + length));
        EXPECT_EQ(refusal, "the reply ends early") << "cut at " << length;
    }
}

}  // namespace
}  // namespace vistamaze::wire
