#pragma once

#include "formats/Mesh.h"
#include "importer/ChildProcess.h"

#include <filesystem>

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

    // Limits for the next imports (tests make them small).
    void SetLimits(const ChildLimits& limits) noexcept { limits_ = limits; }

    // The mesh of `file`, with one unit normal per vertex and at least one triangle. Throws
    // vistamaze::Error with one line naming the file and the cause: an unknown extension, a file
    // that is missing or not a regular file (FileAccessError), a reader's reason, "the importer
    // stopped (<signal>)", "the importer needs more than 1 GiB of memory", "the importer took
    // longer than 20 s", a reply that fails the checks. Nothing of the caller changes on failure.
    [[nodiscard]] Mesh Import(const std::filesystem::path& file) const;

private:
    std::filesystem::path program_;
    ChildLimits limits_;
};

}  // namespace vistamaze
