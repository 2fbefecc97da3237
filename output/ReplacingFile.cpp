#include "output/ReplacingFile.h"

#include "engine/Errors.h"
#include "engine/QuotedName.h"
#include "output/FileKind.h"

#include <cerrno>
#include <new>
#include <random>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {

namespace {

constexpr int kTemporaryNameAttempts = 64;

[[noreturn]] void ThrowAccess(const char* operation, const std::filesystem::path& file, int err) {
    throw ReplacingFileError(std::string("Cannot ") + operation + " file " + QuotedName(file) + ": " +
                                 std::error_code(err, std::generic_category()).message(),
                             err);
}

// The errno that stands for a target of this kind, for callers that word the report themselves.
int ErrnoForKind(mode_t mode) noexcept {
    if (S_ISDIR(mode)) {
        return EISDIR;
    }
    return S_ISFIFO(mode) || S_ISSOCK(mode) ? ESPIPE : EINVAL;
}

// 0 when `target` is missing or, after following links, a regular file; else why it may not be
// replaced (`mode` then holds its kind, or 0 for a loop of links).
int Unreplaceable(const std::filesystem::path& target, mode_t& mode) noexcept {
    mode = 0;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) {
        // Other failures (a missing folder, no permission) surface when the file is created.
        return errno == ELOOP ? ELOOP : 0;
    }
    mode = existing.st_mode;
    return S_ISREG(existing.st_mode) ? 0 : ErrnoForKind(existing.st_mode);
}

// Replacing a symbolic link by rename would replace the link, not the file the user sees.
std::filesystem::path ResolveTarget(const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec) {
            return resolved;
        }
    }
    return target;
}

void KeepPermissions(int fd, const std::filesystem::path& target) noexcept {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Best effort: a file we may not chmod still gets written.
        static_cast<void>(::fchmod(fd, existing.st_mode & 07777));
    }
}

std::string RandomSuffix(std::random_device& random) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix;
    for (int i = 0; i < 4; ++i) {
        unsigned bits = random();
        for (int j = 0; j < 4; ++j, bits >>= 4) {
            suffix += kDigits[bits & 15U];
        }
    }
    return suffix;
}

// Opens a fresh file next to the target; O_EXCL keeps us from ever writing into someone
// else's file, and the name stays short so that long target names still fit the folder.
// The name is listed for RemoveScratchFiles() before the file is made, so that a signal in between
// cannot miss it, and taken off again when it cannot be made.
int CreateTemporary(const std::filesystem::path& target, std::filesystem::path& temporary,
                    std::optional<ScratchFileEntry>& scratch) {
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = target.parent_path() / (".vistamaze-" + RandomSuffix(random) + ".tmp");
        scratch.emplace(temporary, ScratchFileEntry::Kind::File);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        const int err = errno;
        scratch.reset();
        if (err != EEXIST) {
            errno = err;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

ReplacingFile::ReplacingFile(std::filesystem::path target)
    : named_(std::move(target)), target_(ResolveTarget(named_)) {
    CheckTarget(named_);
    const int fd = CreateTemporary(target_, temporary_, scratch_);
    if (fd < 0) {
        ThrowAccess("create", named_, errno);
    }
    KeepPermissions(fd, target_);
    stream_.reset(::fdopen(fd, "wb"));
    if (!stream_) {
        const int err = errno;
        ::close(fd);
        ::unlink(temporary_.c_str());
        ThrowAccess("create", named_, err);
    }
}

ReplacingFile::~ReplacingFile() {
    stream_.reset();
    if (!committed_) {
        ::unlink(temporary_.c_str());
    }
}

bool ReplacingFile::TryWrite(const void* data, std::size_t size) noexcept {
    if (writeError_ != 0) {
        return false;
    }
    if (size != 0 && std::fwrite(data, 1, size, stream_.get()) != size) {
        writeError_ = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

void ReplacingFile::Write(const void* data, std::size_t size) {
    if (!TryWrite(data, size)) {
        ThrowWriteError();
    }
}

int ReplacingFile::Descriptor() const noexcept {
    return ::fileno(stream_.get());
}

void ReplacingFile::ThrowWriteError() const {
    ThrowAccess("write", named_, writeError_ != 0 ? writeError_ : EIO);
}

void ReplacingFile::Commit() {
    if (writeError_ != 0) {
        ThrowWriteError();
    }
    errno = 0;
    if (std::fflush(stream_.get()) != 0) {
        ThrowAccess("write", named_, errno != 0 ? errno : EIO);
    }
    // fclose reports errors that a network or quota-limited file system only notices now.
    if (std::fclose(stream_.release()) != 0) {
        ThrowAccess("write", named_, errno != 0 ? errno : EIO);
    }
    // Writing may take long; what was a regular file then may have been replaced since.
    CheckTarget(named_);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ThrowAccess("create", named_, errno);
    }
    committed_ = true;
}

void ReplacingFile::CheckTarget(const std::filesystem::path& target) {
    mode_t mode = 0;
    const int err = Unreplaceable(target, mode);
    if (err == ELOOP) {
        ThrowAccess("write", target, err);
    }
    // The message a directory always gave, when the rename over it failed.
    if (err == EISDIR) {
        ThrowAccess("create", target, err);
    }
    if (err != 0) {
        throw ReplacingFileError("Cannot write file " + QuotedName(target) + ": it is not a regular file" +
                                     KindOfSpecialFile(mode),
                                 err);
    }
}

void ReplacingFile::CheckFolder(const std::filesystem::path& target) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const std::string start = "Cannot create file " + QuotedName(target) + ": ";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT) {
            throw ReplacingFileError(start + "the folder " + QuotedName(folder) + " does not exist", err);
        }
        throw ReplacingFileError(start + "cannot reach the folder " + QuotedName(folder) + ": " +
                                     std::error_code(err, std::generic_category()).message(),
                                 err);
    }
    if (!S_ISDIR(st.st_mode)) {
        throw ReplacingFileError(start + QuotedName(folder) + " is not a folder", ENOTDIR);
    }
    // The effective user's rights, as creating the file will use them; a read-only file system
    // answers EROFS even to root.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        const int err = errno;
        throw ReplacingFileError(start + "cannot create files in the folder " + QuotedName(folder) + ": " +
                                     std::error_code(err, std::generic_category()).message(),
                                 err);
    }
}

int ReplacingFile::RenameOver(int sourceFd, const std::filesystem::path& source,
                              const std::filesystem::path& target) noexcept {
    try {
        mode_t mode = 0;
        if (const int err = Unreplaceable(target, mode); err != 0) {
            return err;
        }
        const std::filesystem::path resolved = ResolveTarget(target);
        KeepPermissions(sourceFd, resolved);
        return std::rename(source.c_str(), resolved.c_str()) == 0 ? 0 : errno;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

}  // namespace vistamaze
