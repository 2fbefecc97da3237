#pragma once

#include "engine/Errors.h"
#include "output/ScratchFiles.h"

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace vistamaze {

// A failure of ReplacingFile: the FileAccessError message plus the errno value behind it, for
// callers that word the report themselves.
class ReplacingFileError : public FileAccessError {
public:
    ReplacingFileError(const std::string& message, int sysError)
        : FileAccessError(message), sysError_(sysError) {}
    [[nodiscard]] int SysError() const noexcept { return sysError_; }

private:
    int sysError_;
};

// Writes a file so that whatever already has its name survives every failure.
//
// The data goes to a new temporary file in the target's folder; Commit() flushes and closes it
// and renames it over the target in one step. Until then the target is untouched; a
// ReplacingFile destroyed without a successful Commit() removes its temporary file, and so does
// RemoveScratchFiles() for a process ended by a signal meanwhile. When the
// target is a symbolic link, the file it points to is replaced. Only a regular file (after
// following links) or a new file is ever replaced: a directory, FIFO, socket or device is refused
// (see CheckTarget), never turned into a regular file. An existing target's permission bits are
// kept; a new file gets the usual ones (0666 less the umask). Error messages name the file as the
// caller gave it; every FileAccessError thrown is a ReplacingFileError.
class ReplacingFile {
public:
    // Throws what CheckTarget throws, then FileAccessError ('Cannot create file "<target>":
    // <reason>') when the temporary file cannot be created, e.g. for a missing or read-only folder.
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

    // The temporary file's descriptor until Commit(), for writers that place their bytes
    // themselves (pwrite, kernel copies). Do not mix with Write(): bytes Write() has buffered
    // are not flushed first. Stays owned by this object.
    [[nodiscard]] int Descriptor() const noexcept;

    // True once a TryWrite() has failed.
    [[nodiscard]] bool WriteFailed() const noexcept { return writeError_ != 0; }
    // Throws FileAccessError with the reason of the first failed TryWrite().
    [[noreturn]] void ThrowWriteError() const;

    // Flushes, closes and renames the temporary file over the target. Throws FileAccessError
    // when any of these fails or the target is no longer replaceable (see CheckTarget); the
    // temporary file is then removed, the target untouched.
    void Commit();

    // Lets callers refuse an output before doing the work that produces it. Returns when
    // `target` is missing (it becomes a new file) or is, after following symbolic links, a
    // regular file. Otherwise throws ReplacingFileError naming the file and what it is: 'Cannot
    // write file "<target>": it is not a regular file (a FIFO)' (SysError() ESPIPE for a FIFO or
    // socket, EINVAL for a device), 'Cannot create file "<target>": Is a directory' (EISDIR), or
    // for a loop of links 'Cannot write file "<target>": <reason>' (ELOOP).
    static void CheckTarget(const std::filesystem::path& target);

    // Lets callers refuse an output whose folder cannot take it, before the work that produces
    // it: the folder `target` names (the current folder when it names none) must exist, be a
    // folder, and let this process create files in it. Otherwise throws ReplacingFileError
    // 'Cannot create file "<target>": the folder "<folder>" does not exist' (ENOENT), '... is not
    // a folder' (ENOTDIR) or '...: cannot create files in the folder "<folder>": <reason>'.
    static void CheckFolder(const std::filesystem::path& target);

    // Renames the finished file `source`, open as `sourceFd`, over `target` as Commit() does: a
    // symbolic link's file is replaced and an existing target's permission bits are kept.
    // Returns 0 or the errno of the failure (EXDEV: they lie on different file systems; for a
    // target that is not a regular file, the SysError() CheckTarget gives); the target is
    // untouched unless it succeeds.
    static int RenameOver(int sourceFd, const std::filesystem::path& source,
                          const std::filesystem::path& target) noexcept;

private:
    struct StreamCloser {
        void operator()(std::FILE* stream) const noexcept { std::fclose(stream); }
    };

    std::filesystem::path named_;
    std::filesystem::path target_;  // named_ with a symbolic link resolved
    std::filesystem::path temporary_;
    std::optional<ScratchFileEntry> scratch_;  // temporary_, listed once it exists
    std::unique_ptr<std::FILE, StreamCloser> stream_;
    int writeError_ = 0;
    bool committed_ = false;
};

}  // namespace vistamaze
