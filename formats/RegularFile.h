#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace vistamaze {

// What a file of this mode is that is not a regular file, for messages: "a folder", "a FIFO",
// "a socket", "a character device", "a block device" or "a special file".
[[nodiscard]] const char* FileKindName(mode_t mode) noexcept;

// A regular file opened for reading, for files that untrusted data names (a model file and the
// materials, textures and buffers it names). Opening never waits: a FIFO without a writer, a
// device, a socket or a folder is refused before a byte is read, so /dev/zero behind a link
// cannot feed a reader and a FIFO cannot hang it. Owns its descriptor.
class RegularFile {
public:
    // Opens `file` (links followed). On failure the result is not open and says why.
    static RegularFile Open(const std::filesystem::path& file);

    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    [[nodiscard]] bool IsOpen() const noexcept { return fd_ >= 0; }
    // Why the file is not open: the system's reason, or what the file is, as in "it is a FIFO,
    // not a regular file".
    [[nodiscard]] const std::string& Failure() const noexcept { return failure_; }
    // What the file is when it was refused for not being a regular file ("a FIFO", "a folder",
    // "a character device", "a block device", "a socket"); empty otherwise.
    [[nodiscard]] const std::string& Kind() const noexcept { return kind_; }
    // The size found when the file was opened.
    [[nodiscard]] std::uint64_t Size() const noexcept { return size_; }
    // Reads the rest of the file. Returns false with `reason` set when reading fails or the file
    // grows past `limit` bytes while it is read ("it is larger than <limit> bytes").
    bool ReadAll(std::uint64_t limit, std::vector<std::uint8_t>& bytes, std::string& reason) const;
    // Hands the descriptor over (to fdopen, for example); the object is then not open.
    [[nodiscard]] int Release() noexcept;

private:
    void Close() noexcept;

    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string failure_;
    std::string kind_;
};

}  // namespace vistamaze
