#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace vistamaze {

// Writes a file so that whatever already has its name survives every failure.
//
// The data goes to a new temporary file in the target's folder; Commit() flushes and closes it
// and renames it over the target in one step. Until then the target is untouched; a
// ReplacingFile destroyed without a successful Commit() removes its temporary file. When the
// target is a symbolic link, the file it points to is replaced. An existing target's permission
// bits are kept; a new file gets the usual ones (0666 less the umask). Error messages name the
// file as the caller gave it.
class ReplacingFile {
public:
    // Throws FileAccessError ('Cannot create file "<target>": <reason>') when the temporary file
    // cannot be created, e.g. for a missing or read-only folder.
    explicit ReplacingFile(std::filesystem::path target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // The file as the caller named it.
    [[nodiscard]] const std::filesystem::path& Target() const noexcept { return named_; }

    // Appends bytes; false on failure, remembering the system's reason for ThrowWriteError().
    // Never throws, so library callbacks may use it.
    bool TryWrite(const void* data, std::size_t size) noexcept;
    // Appends bytes; throws FileAccessError ('Cannot write file "<target>": <reason>').
    void Write(const void* data, std::size_t size);

    // True once a TryWrite() has failed.
    [[nodiscard]] bool WriteFailed() const noexcept { return writeError_ != 0; }
    // Throws FileAccessError with the reason of the first failed TryWrite().
    [[noreturn]] void ThrowWriteError() const;

    // Flushes, closes and renames the temporary file over the target. Throws FileAccessError
    // when any of these fails (the temporary file is then removed, the target untouched).
    void Commit();

private:
    struct StreamCloser {
        void operator()(std::FILE* stream) const noexcept { std::fclose(stream); }
    };

    std::filesystem::path named_;
    std::filesystem::path target_;  // named_ with a symbolic link resolved
    std::filesystem::path temporary_;
    std::unique_ptr<std::FILE, StreamCloser> stream_;
    int writeError_ = 0;
    bool committed_ = false;
};

}  // namespace vistamaze
