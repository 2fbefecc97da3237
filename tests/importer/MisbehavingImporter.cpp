// A stand-in for vistamaze-import that misbehaves as a reader fed a hostile file might, chosen by
// the model file's stem, so the tests can see how the programs take each misbehaviour.
#include "importer/MeshWire.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// Its crash must stay a crash under AddressSanitizer, as the real importer's does.
extern "C" const char* __asan_default_options() {  // NOLINT: the sanitizer's own name
    return "handle_segv=0:detect_leaks=0";
}
#endif

namespace {

void Write(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n <= 0) {
            return;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

vistamaze::Mesh Triangle() {
    vistamaze::Mesh mesh;
    mesh.AddVertex({0, 0, 0});
    mesh.AddVertex({1, 0, 0});
    mesh.AddVertex({0, 1, 0});
    mesh.AddTriangle(0, 1, 2);
    return mesh;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    const std::string how = std::filesystem::path(argv[1]).stem().string();
    std::vector<std::byte> reply = vistamaze::wire::EncodeMesh(Triangle());
    if (how == "crash") {
        std::raise(SIGSEGV);
    } else if (how == "hang") {
        for (;;) {
            ::pause();
        }
    } else if (how == "hog") {
        try {
            // Address space, not memory touched, is what the limit counts: fast on any machine.
            std::list<std::unique_ptr<char[]>> blocks;
            for (;;) {
                blocks.push_back(std::make_unique_for_overwrite<char[]>(std::size_t{1} << 20));
            }
        } catch (const std::bad_alloc&) {
            reply = vistamaze::wire::EncodeOutOfMemory();
        }
    } else if (how == "garbage") {
        std::memset(reply.data(), 0x5a, reply.size());
    } else if (how == "short") {
        reply.resize(reply.size() - 5);
    } else if (how == "index") {
        reply[reply.size() - 4] = std::byte{7};  // the last corner of the one triangle
    } else if (how == "silent") {
        return 3;
    } else if (how == "reason") {
        reply = vistamaze::wire::EncodeFailure("Cannot load model file \"" + std::string(argv[1]) +
                                               "\": the reader's own reason");
    } else if (how == "late") {
        Write(reply);
        return 4;
    }
    Write(reply);
    return 0;
}
