#pragma once

#include "output/ScratchFiles.h"

#include <filesystem>
#include <optional>

namespace vistamaze {

// `requested`, or the system's temporary folder ($TMPDIR, else /tmp) when it is empty.
[[nodiscard]] std::filesystem::path TemporaryFolder(const std::filesystem::path& requested);

// A folder of one writer's own for its work files: "vistamaze-" and six random letters and digits,
// made with mode 0700 under a temporary folder, so that writers in parallel processes never meet
// and nobody else can put a file or a link in it. Listed for RemoveScratchFiles() while it exists
// (the name is listed before the folder is made); the destructor removes it when it is empty.
class WorkFolder {
public:
    // Makes the folder under TemporaryFolder(parent). Throws std::system_error with the errno of
    // the failure (EEXIST when every name tried was taken).
    explicit WorkFolder(const std::filesystem::path& parent = {});
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }

    // How messages name a folder that could not be made under `parent`: <folder>/vistamaze-XXXXXX.
    [[nodiscard]] static std::filesystem::path NamePattern(const std::filesystem::path& parent);

private:
    std::filesystem::path path_;
    std::optional<ScratchFileEntry> entry_;
};

}  // namespace vistamaze
