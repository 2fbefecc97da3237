#include "engine/TextureList.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <system_error>

namespace vistamaze {

namespace {

char AsciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// The extension is everything from the last dot of the name on, so that a name like ".png"
// counts as a PNG file (std::filesystem would see no extension there).
bool IsTextureName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    static constexpr std::array<std::string_view, 4> kExtensions = {".BMP", ".PNG", ".JPG", ".JPEG"};
    const std::string_view extension = std::string_view(name).substr(dot);
    return std::any_of(kExtensions.begin(), kExtensions.end(),
                       [extension](std::string_view e) { return EqualIgnoringAsciiCase(extension, e); });
}

bool Contains(const std::vector<std::filesystem::path>& files, const std::filesystem::path& file) {
    const std::string text = file.string();
    return std::any_of(files.begin(), files.end(), [&text](const std::filesystem::path& f) {
        return EqualIgnoringAsciiCase(f.string(), text);
    });
}

}  // namespace

void TextureList::Refresh(const std::filesystem::path& currentFile,
                          const std::function<void()>& processEvents) {
    Clear();
    const std::filesystem::path folder = currentFile.parent_path();
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        return;
    }
    // Built aside and stored at the end: processEvents may run other handlers meanwhile.
    std::vector<std::filesystem::path> found;
    std::filesystem::directory_iterator entry(folder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (IsTextureName(name)) {
            std::filesystem::path file = folder / name;
            if (!Contains(found, file)) {
                found.push_back(std::move(file));
            }
        }
        if (processEvents) {
            processEvents();
        }
    }
    files_ = std::move(found);
    const std::string current = currentFile.string();
    const auto it = std::find_if(files_.begin(), files_.end(), [&current](const std::filesystem::path& f) {
        return EqualIgnoringAsciiCase(f.string(), current);
    });
    currentIndex_ = it == files_.end() ? -1 : static_cast<int>(it - files_.begin());
}

std::optional<std::filesystem::path> TextureList::Next() {
    if (files_.empty()) {
        return std::nullopt;
    }
    ++currentIndex_;
    if (currentIndex_ < 0 || currentIndex_ >= static_cast<int>(files_.size())) {
        currentIndex_ = 0;
    }
    return files_[static_cast<std::size_t>(currentIndex_)];
}

std::optional<std::filesystem::path> TextureList::Previous() {
    if (files_.empty()) {
        return std::nullopt;
    }
    --currentIndex_;
    if (currentIndex_ < 0 || currentIndex_ >= static_cast<int>(files_.size())) {
        currentIndex_ = static_cast<int>(files_.size()) - 1;
    }
    return files_[static_cast<std::size_t>(currentIndex_)];
}

void TextureList::Clear() noexcept {
    files_.clear();
    currentIndex_ = -1;
}

}  // namespace vistamaze
