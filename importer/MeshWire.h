#pragma once

// What the model importer helper hands back to the program through its standard output: one
// reply, a mesh or the reason there is none. Both ends run on the same machine, so numbers are in
// the machine's own byte order. The program trusts nothing in a reply: every count is checked
// against the mesh limits before anything is allocated, every index against the vertices, every
// coordinate for being finite, and the length against what the counts promise.
//
// Layout: the 8 bytes "VMMESH01", a 32-bit kind, then
//  - kind 1 (mesh): 64-bit counts of vertices, normals (0 or the vertex count), triangles and
//    parts; the vertices and normals as 3 floats each; the triangles as 3 32-bit indices each; the
//    parts as (64-bit first triangle, 64-bit triangle count, 3 floats of colour, 32-bit flag: the
//    file gave the colour);
//  - kind 2 (failure): a 32-bit length and that many bytes of the one-line message;
//  - kind 3 (out of memory): nothing more.

#include "formats/Mesh.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace vistamaze::wire {

enum class ReplyKind : std::uint32_t { Mesh = 1, Failure = 2, OutOfMemory = 3 };

// Longest failure message a reply may carry; longer ones are cut.
inline constexpr std::size_t kMaxMessageBytes = 4096;

// The encoded replies, written by the helper.
[[nodiscard]] std::vector<std::byte> EncodeMesh(const Mesh& mesh);
[[nodiscard]] std::vector<std::byte> EncodeFailure(const std::string& message);
[[nodiscard]] std::vector<std::byte> EncodeOutOfMemory();

// Fills `bytes` whole from the reply stream, or returns false at its end.
using ReadExactly = std::function<bool(std::span<std::byte> bytes)>;

struct Failure {
    std::string message;
};
struct OutOfMemory {};
using Reply = std::variant<Mesh, Failure, OutOfMemory>;

// Reads one reply. Throws vistamaze::Error with a short reason ("the reply ends early", "the
// reply claims 60000000 vertices") when the stream is not a well-formed reply within the mesh
// limits, including bytes after its end.
[[nodiscard]] Reply DecodeReply(const ReadExactly& read);

}  // namespace vistamaze::wire
