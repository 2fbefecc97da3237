#include "output/WorkFolder.h"

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {

namespace {

constexpr int kNameAttempts = 64;

// Six letters and digits, as mkdtemp puts in place of its XXXXXX.
std::string RandomName(std::random_device& random) {
    static constexpr char kCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name;
    for (int i = 0; i < 6; ++i) {
        name += kCharacters[random() % (sizeof kCharacters - 1)];
    }
    return name;
}

}  // namespace

std::filesystem::path TemporaryFolder(const std::filesystem::path& requested) {
    if (!requested.empty()) {
        return requested;
    }
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : folder;
}

std::filesystem::path WorkFolder::NamePattern(const std::filesystem::path& parent) {
    return TemporaryFolder(parent) / "vistamaze-XXXXXX";
}

WorkFolder::WorkFolder(const std::filesystem::path& parent) {
    // As mkdtemp, but the name is listed for RemoveScratchFiles() before the folder is made.
    const std::filesystem::path base = TemporaryFolder(parent);
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::filesystem::path folder = base / ("vistamaze-" + RandomName(random));
        entry_.emplace(folder, ScratchFileEntry::Kind::Folder);
        if (::mkdir(folder.c_str(), 0700) == 0) {
            path_ = folder;
            return;
        }
        const int err = errno;
        entry_.reset();
        if (err != EEXIST) {
            throw std::system_error(err, std::generic_category());
        }
    }
    throw std::system_error(EEXIST, std::generic_category());
}

WorkFolder::~WorkFolder() {
    ::rmdir(path_.c_str());
}

}  // namespace vistamaze
