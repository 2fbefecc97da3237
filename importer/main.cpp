// vistamaze-import FILE: reads one model file and writes the mesh, or the reason there is none,
// to standard output (importer/MeshWire.h). The programs run it as a limited child process
// (importer/ModelImporter.h), so that a file that crashes, hangs or exhausts a reader we did not
// write costs only this process. Before it opens the file it confines itself to reading the
// model's folder. With --wait it is started ahead of its work and reads the file's name from
// standard input first (its libraries are then loaded when the name comes). Exit status: 0 with
// a mesh, 1 with a reason, 2 for a wrong command line.
#include "formats/ModelFile.h"
#include "importer/Confinement.h"
#include "importer/MeshWire.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// A crash of a reader stays a crash under AddressSanitizer, so the program reports it as it does
// in a normal build rather than as a missing reply.
extern "C" const char* __asan_default_options() {  // NOLINT: the sanitizer's own name
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0:detect_leaks=0";
}
#endif

namespace {

void WriteAll(std::span<const std::byte> bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // the program stopped listening
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

// Made by main() before any file is read, so that it can be sent when no memory is left.
const std::vector<std::byte>& OutOfMemoryReply() {
    static const std::vector<std::byte> reply = vistamaze::wire::EncodeOutOfMemory();
    return reply;
}

[[noreturn]] void Finish(std::span<const std::byte> reply, int status) noexcept {
    WriteAll(reply);
    // No exit handlers: nothing is left to flush, and a confined process could not run some of
    // them (a leak checker reads /proc).
    _exit(status);
}

// An exception that escapes a noexcept function of a reader ends up here.
[[noreturn]] void Terminate() noexcept {
    try {
        if (const std::exception_ptr current = std::current_exception()) {
            std::rethrow_exception(current);
        }
    } catch (const std::bad_alloc&) {
        Finish(OutOfMemoryReply(), 1);
    } catch (...) {
    }
    _exit(1);
}

// The folders the reader may read: the model's own, and its target's when the name is a link.
std::vector<std::filesystem::path> ReadableFolders(const std::filesystem::path& file) {
    std::error_code error;
    std::vector<std::filesystem::path> folders{std::filesystem::absolute(file, error).parent_path()};
    const std::filesystem::path target = std::filesystem::canonical(file, error);
    if (!error && target.parent_path() != folders.front()) {
        folders.push_back(target.parent_path());
    }
    return folders;
}

// The name of the file to read, sent on standard input and ended by a NUL byte, for a helper
// started ahead of its work (--wait). Ends the process quietly when input ends without one: the
// program did not need this helper.
std::string NameFromInput() {
    std::string name;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            _exit(0);
        }
        if (c == '\0') {
            return name;
        }
        if (name.size() == PATH_MAX) {
            Finish(vistamaze::wire::EncodeFailure("vistamaze-import: the file name sent is too long"), 2);
        }
        name.push_back(c);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vistamaze;
    static_cast<void>(OutOfMemoryReply());
    std::set_terminate(&Terminate);
    if (argc != 2) {
        Finish(wire::EncodeFailure("usage: vistamaze-import FILE | vistamaze-import --wait"), 2);
    }
    try {
        const std::string_view argument = argv[1];
        const std::filesystem::path file = argument == "--wait" ? NameFromInput() : std::string(argument);
        ConfineToReading(ReadableFolders(file));
        Mesh mesh = LoadModelFile(file);
        Finish(wire::EncodeMesh(mesh), 0);
    } catch (const std::bad_alloc&) {
        Finish(OutOfMemoryReply(), 1);
    } catch (const ModelMemoryError&) {
        Finish(OutOfMemoryReply(), 1);
    } catch (const std::exception& e) {
        Finish(wire::EncodeFailure(e.what()), 1);
    }
}
