#pragma once

#include "formats/Mesh.h"
#include "importer/ChildProcess.h"

#include <filesystem>
#include <memory>
#include <mutex>

namespace vistamaze {

// Reads model files in the helper program vistamaze-import, a process of its own with limits on
// memory and time that confines itself to reading the model's folder. A file that crashes, hangs
// or exhausts the reader costs that process only; what comes back is checked before use. The
// desktop program, the command line and the benchmarks all load models through this class.
class ModelImporter {
public:
    // Address space the helper may use.
    static constexpr std::uint64_t kMemoryLimitBytes = std::uint64_t{1} << 30;
    // Time the helper may take, from its start to its reply.
    static constexpr std::chrono::milliseconds kTimeLimit{20'000};

    // The helper `program`; FindProgram() when empty.
    explicit ModelImporter(std::filesystem::path program = {});

    // The helper: $VISTAMAZE_IMPORTER when set, else vistamaze-import beside the running program or
    // in its ../libexec/vistamaze (an installed tree, or a build tree, which mirrors it). Empty
    // when there is none.
    [[nodiscard]] static std::filesystem::path FindProgram();

    ModelImporter(const ModelImporter&) = delete;
    ModelImporter& operator=(const ModelImporter&) = delete;
    ~ModelImporter();

    // Limits for the next imports (tests make them small).
    void SetLimits(const ChildLimits& limits);

    // Keeps one helper started ahead, idle until it is given a file, so that an import does not
    // wait for a process to start and load its libraries (the desktop program, where models are
    // opened one after another). A new one is started as each is put to work.
    void KeepOneReady();

    // The mesh of `file`, with one unit normal per vertex and at least one triangle. Throws
    // vistamaze::Error with one line naming the file and the cause: an unknown extension, a file
    // that is missing or not a regular file (FileAccessError), a reader's reason, "the importer
    // stopped (<signal>)", "the importer needs more than 1 GiB of memory", "the importer took
    // longer than 20 s", a reply that fails the checks. Nothing of the caller changes on failure.
    [[nodiscard]] Mesh Import(const std::filesystem::path& file) const;

private:
    [[nodiscard]] std::unique_ptr<ChildProcess> StartHelper(const std::filesystem::path& file) const;

    std::filesystem::path program_;
    ChildLimits limits_;
    bool keepOneReady_ = false;
    // The helper started ahead; Import() is const to callers, and may be called from more than
    // one thread.
    mutable std::mutex readyMutex_;
    mutable std::unique_ptr<ChildProcess> ready_;
};

}  // namespace vistamaze
