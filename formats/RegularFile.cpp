#include "formats/RegularFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {

const char* FileKindName(mode_t mode) noexcept {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    return "a special file";
}

RegularFile RegularFile::Open(const std::filesystem::path& file) {
    RegularFile opened;
    const auto fail = [&opened](std::string reason) {
        opened.Close();
        opened.failure_ = std::move(reason);
        return std::move(opened);
    };
    // O_NONBLOCK: opening a FIFO must not wait for a writer before its kind can be checked.
    opened.fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (opened.fd_ < 0) {
        return fail(std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(opened.fd_, &status) != 0) {
        return fail(std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        opened.kind_ = FileKindName(status.st_mode);
        return fail("it is " + opened.kind_ + ", not a regular file");
    }
    // A file system may honour O_NONBLOCK for regular files too; reads must wait, not fail.
    const int flags = ::fcntl(opened.fd_, F_GETFL);
    if (flags < 0 || ::fcntl(opened.fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return fail(std::strerror(errno));
    }
    opened.size_ = static_cast<std::uint64_t>(status.st_size);
    return opened;
}

void RegularFile::Close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    size_ = 0;
}

RegularFile::~RegularFile() {
    Close();
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(std::exchange(other.size_, 0)),
      failure_(std::move(other.failure_)),
      kind_(std::move(other.kind_)) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        size_ = std::exchange(other.size_, 0);
        failure_ = std::move(other.failure_);
        kind_ = std::move(other.kind_);
    }
    return *this;
}

int RegularFile::Release() noexcept {
    size_ = 0;
    return std::exchange(fd_, -1);
}

bool RegularFile::ReadAll(std::uint64_t limit, std::vector<std::uint8_t>& bytes, std::string& reason) const {
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    // Reads into `to`, retried when a signal interrupts it; false with the reason on an error.
    const auto readSome = [&](std::uint8_t* to, std::size_t count, std::size_t& got) {
        for (;;) {
            const ssize_t n = ::read(fd_, to, count);
            if (n >= 0) {
                got = static_cast<std::size_t>(n);
                return true;
            }
            if (errno != EINTR) {
                reason = std::strerror(errno);
                return false;
            }
        }
    };
    const auto tooLarge = [&] {
        reason = "it is larger than " + std::to_string(limit) + " bytes";
        return false;
    };
    bytes.clear();
    // The file may change while it is read, so its size is only a first guess. A short read is
    // confirmed as the end with a probe into a small buffer, so that a file of the expected size
    // is read into one allocation, without growing it (a fresh process pays for every page).
    std::size_t want = static_cast<std::size_t>(std::min(size_, limit)) + 1;
    for (;;) {
        const std::size_t before = bytes.size();
        bytes.resize(before + want);
        std::size_t got = 0;
        if (!readSome(bytes.data() + before, want, got)) {
            return false;
        }
        bytes.resize(before + got);
        if (got == 0) {
            return true;
        }
        if (bytes.size() > limit) {
            return tooLarge();
        }
        if (got < want) {
            std::array<std::uint8_t, 4096> probe{};
            std::size_t more = 0;
            if (!readSome(probe.data(), probe.size(), more)) {
                return false;
            }
            if (more == 0) {
                return true;
            }
            bytes.insert(bytes.end(), probe.begin(), probe.begin() + static_cast<std::ptrdiff_t>(more));
            if (bytes.size() > limit) {
                return tooLarge();
            }
        }
        want = kChunk;
    }
}

}  // namespace vistamaze
