#include "importer/ModelImporter.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "formats/ModelFile.h"
#include "formats/RegularFile.h"
#include "importer/MeshWire.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>

#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {
namespace {

constexpr const char* kProgramName = "vistamaze-import";

std::string Prefix(const std::filesystem::path& file) {
    return "Cannot load model file " + QuotedName(file) + ": ";
}

std::string SizeText(std::uint64_t bytes) {
    if (bytes % (std::uint64_t{1} << 30) == 0) {
        return std::to_string(bytes >> 30) + " GiB";
    }
    return std::to_string(bytes >> 20) + " MiB";
}

// What a model must be before a helper is started for it: a known extension (the same message
// the readers give) and an existing regular file, checked without opening it, so that a FIFO or a
// device never blocks or streams.
void CheckBeforeImport(const std::filesystem::path& file) {
    if (ModelFormatForExtension(file.extension().string()) == ModelFormat::Unknown) {
        throw Error("Unknown model file extension " + QuotedName(file.extension().string()) + " of " +
                    QuotedName(file));
    }
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        throw FileAccessError("Cannot open model file " + QuotedName(file) + ": " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileAccessError("Cannot open model file " + QuotedName(file) + ": it is " +
                              FileKindName(info.st_mode) + ", not a regular file");
    }
}

}  // namespace

ModelImporter::ModelImporter(std::filesystem::path program) : program_(std::move(program)) {
    if (program_.empty()) {
        program_ = FindProgram();
    }
#ifndef VM_IMPORTER_NO_ADDRESS_LIMIT
    limits_.addressSpaceBytes = kMemoryLimitBytes;
#endif
    limits_.wallTime = kTimeLimit;
}

ModelImporter::~ModelImporter() = default;

void ModelImporter::SetLimits(const ChildLimits& limits) {
    const std::scoped_lock lock(readyMutex_);
    limits_ = limits;
    ready_.reset();
}

void ModelImporter::KeepOneReady() {
    const std::scoped_lock lock(readyMutex_);
    keepOneReady_ = true;
    if (!ready_ && !program_.empty()) {
        try {
            ready_ = StartHelper({});
        } catch (const Error&) {
            // Each import then starts its own helper, and reports why that fails.
        }
    }
}

// A helper for `file`, or with an empty `file` one that waits to be sent a name.
std::unique_ptr<ChildProcess> ModelImporter::StartHelper(const std::filesystem::path& file) const {
    return std::make_unique<ChildProcess>(
        program_, std::vector<std::string>{file.empty() ? std::string("--wait") : file.string()}, limits_,
        ChildEnvironment{std::string("GLIBC_TUNABLES=") + kShortLivedMallocTunables},
        file.empty() ? ChildProcess::Input::FromUs : ChildProcess::Input::None);
}

std::filesystem::path ModelImporter::FindProgram() {
    return FindHelperProgram(kProgramName, "VISTAMAZE_IMPORTER");
}

Mesh ModelImporter::Import(const std::filesystem::path& file) const {
    CheckBeforeImport(file);
    if (program_.empty()) {
        throw Error(Prefix(file) + "the model importer " + kProgramName +
                    " is not installed beside the program");
    }
    std::unique_ptr<ChildProcess> child;
    {
        const std::scoped_lock lock(readyMutex_);
        child = std::move(ready_);
        // The name is sent whole, so that the helper's folder rules name its folder even after
        // our working folder changes.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(file, error);
        if (child && !(child->Running() && !error && child->Send(absolute.string() + '\0'))) {
            child.reset();
        }
        try {
            if (!child) {
                child = StartHelper(file);
            }
            if (keepOneReady_) {
                ready_ = StartHelper({});  // loads its libraries while this one reads
            }
        } catch (const Error& e) {
            if (!child) {
                throw Error(Prefix(file) + e.what());
            }
        }
    }
    wire::Reply reply;
    std::string damage;
    try {
        reply = wire::DecodeReply([&child](std::span<std::byte> bytes) { return child->ReadExactly(bytes); });
    } catch (const Error& e) {
        damage = e.what();
    }
    const ChildExit end = child->Wait();
    if (end.timedOut) {
        throw Error(Prefix(file) + "the importer took longer than " + TimeLimitText(limits_.wallTime));
    }
    if (end.signal != 0) {
        throw Error(Prefix(file) + "the importer stopped (" + SignalDescription(end.signal) + ")");
    }
    if (!damage.empty() && end.exitCode != 0) {
        throw Error(Prefix(file) + "the importer ended with status " + std::to_string(end.exitCode) +
                    " without a reply");
    }
    if (!damage.empty()) {
        throw Error(Prefix(file) + "the importer's reply is damaged: " + damage);
    }
    if (std::holds_alternative<wire::OutOfMemory>(reply)) {
        throw Error(Prefix(file) + "the importer needs more than " +
                    SizeText(limits_.addressSpaceBytes.value_or(kMemoryLimitBytes)) + " of memory");
    }
    if (const auto* failure = std::get_if<wire::Failure>(&reply)) {
        throw Error(failure->message);
    }
    Mesh mesh = std::get<Mesh>(std::move(reply));
    if (end.exitCode != 0) {
        throw Error(Prefix(file) + "the importer ended with status " + std::to_string(end.exitCode));
    }
    if (mesh.Empty()) {
        throw Error(Prefix(file) + "the file holds no surface");
    }
    if (mesh.normals.size() != mesh.vertices.size()) {
        mesh.ComputeNormals();
    }
    return mesh;
}

}  // namespace vistamaze
