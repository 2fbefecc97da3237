#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace vistamaze {

// The texture files of one folder, as the preview window steps through them.
class TextureList {
public:
    // Rebuilds the list from the folder of `currentFile`: every entry of that folder (sub-folders
    // are not entered; an entry's type is not looked at) whose extension, upper-cased, is ".BMP",
    // ".PNG", ".JPG" or ".JPEG", as folder / name, in the order the system lists them, no path
    // twice (paths compared without regard to ASCII case). `processEvents`, when set, runs after
    // each entry looked at. A missing folder, or a `currentFile` without a folder part, leaves the
    // list empty. An error while listing (permission, a folder removed meanwhile) ends the
    // listing quietly, keeping the entries found so far. The current index becomes the position
    // of `currentFile` in the list (compared without regard to ASCII case), or -1.
    void Refresh(const std::filesystem::path& currentFile, const std::function<void()>& processEvents = {});

    [[nodiscard]] const std::vector<std::filesystem::path>& Files() const noexcept { return files_; }
    // Position of the current texture file in Files(), or -1 when it is not in the list.
    [[nodiscard]] int CurrentIndex() const noexcept { return currentIndex_; }

    // Steps the current index one forward (past the last entry to 0; from -1 to 0) and returns
    // the file there; nothing, and no change, when the list is empty.
    [[nodiscard]] std::optional<std::filesystem::path> Next();
    // Steps one back (below 0, and from -1, to the last entry) and returns the file there;
    // nothing, and no change, when the list is empty.
    [[nodiscard]] std::optional<std::filesystem::path> Previous();

    // Empties the list; the current index becomes -1.
    void Clear() noexcept;

private:
    std::vector<std::filesystem::path> files_;
    int currentIndex_ = -1;
};

}  // namespace vistamaze
