#include "output/AviWriter.h"

#include "engine/QuotedName.h"
#include "engine/Resample.h"
#include "formats/ImageLimits.h"
#include "output/ReplacingFile.h"
#include "output/WorkFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {

namespace {

constexpr std::size_t kCopyBuffer = std::size_t{1} << 20;
constexpr std::uint64_t kMaxAudioChunk = std::uint64_t{4} << 20;
constexpr int kLockAttempts = 5;
// Not an errno value: the work file is held by another writer.
constexpr int kWorkFileInUse = -1;

template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return s;
}

// The extension as the file name shows it: from the last dot of the last path component.
std::string Extension(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    const std::size_t slash = name.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) {
        return {};
    }
    return name.substr(dot);
}

std::string Hex8(AviCode code) {
    std::array<char, 9> text{};
    std::snprintf(text.data(), text.size(), "%08X", static_cast<unsigned>(code));
    return text.data();
}

// True while `path` itself (not a link's target) is the file open as `fd`.
bool SameFile(int fd, const std::filesystem::path& path) {
    struct stat a {};
    struct stat b {};
    return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool OwnRegularFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

// Frees the work file's name of what is in the way: a regular file of this user that no writer
// holds (left by a crash), or a symbolic link, which no writer makes (removing the link leaves
// the file it points to alone). Returns 0 when the name may be tried again, kWorkFileInUse
// while a writer holds the file, EEXIST for anything else, or the errno of a failed removal.
int ClearWorkFileName(const std::filesystem::path& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISLNK(st.st_mode)) {
        return ::unlink(file.c_str()) == 0 || errno == ENOENT ? 0 : errno;
    }
    if (!OwnRegularFile(st)) {
        return EEXIST;
    }
    // O_NONBLOCK: should the name turn into a FIFO meanwhile, the open must not wait for it.
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        return errno == ENOENT || errno == ELOOP ? 0 : errno;
    }
    if (::fstat(fd.Get(), &st) != 0 || !OwnRegularFile(st)) {
        return EEXIST;
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? kWorkFileInUse : errno;
    }
    if (SameFile(fd.Get(), file) && ::unlink(file.c_str()) != 0 && errno != ENOENT) {
        return errno;
    }
    return 0;
}

[[noreturn]] void ThrowWorkFileError(const std::filesystem::path& file, int err) {
    const std::string reason =
        err == kWorkFileInUse ? "another movie is being made with it" : std::strerror(err);
    throw AviError(AviCode::kFileOpen,
                   "Failed to create AVI video work file " + QuotedName(file) + ": " + reason,
                   err == kWorkFileInUse ? 0 : err,
                   "cannot create the movie's work file " + QuotedName(file) + ": " + reason);
}

bool ReadFully(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        out += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool WriteFully(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies `size` bytes from the start of `from` to the current position of `to` with a bounded
// buffer; returns 0 or the errno of the failure. The kernel copies are tried first: between
// file systems copy_file_range refuses, and sendfile still spares the trip through user space.
int CopyData(int from, int to, std::uint64_t size) {
    loff_t in = 0;
    enum class Method { kCopyRange, kSendFile, kReadWrite } method = Method::kCopyRange;
    std::vector<std::uint8_t> buffer;
    while (static_cast<std::uint64_t>(in) < size) {
        const auto step = static_cast<std::size_t>(
            std::min<std::uint64_t>(size - static_cast<std::uint64_t>(in), 1U << 30));
        ssize_t n = 0;
        if (method == Method::kCopyRange) {
            n = ::copy_file_range(from, &in, to, nullptr, step, 0);
        } else if (method == Method::kSendFile) {
            off_t offset = in;
            n = ::sendfile(to, from, &offset, step);
            in = offset;
        } else {
            const std::size_t chunk = std::min(step, buffer.size());
            if (!ReadFully(from, static_cast<std::uint64_t>(in), buffer.data(), chunk) ||
                !WriteFully(to, buffer.data(), chunk)) {
                return errno;
            }
            in += static_cast<loff_t>(chunk);
            continue;
        }
        if (n > 0 || (n < 0 && errno == EINTR)) {
            continue;
        }
        if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            return errno;
        }
        method = method == Method::kCopyRange ? Method::kSendFile : Method::kReadWrite;
        buffer.resize(method == Method::kReadWrite ? kCopyBuffer : 0);
    }
    return 0;
}

}  // namespace

std::array<std::uint8_t, 40> BitmapInfoHeader(const PixelBuffer& bitmap) {
    if (bitmap.Empty()) {
        throw Error("Invalid bitmap");
    }
    const int bits = bitmap.BitsPerPixel();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        throw Error("Invalid pixel foramt");
    }
    std::array<std::uint8_t, 40> h{};
    const auto put = [&h](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            h[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    put(0, 40, 4);
    put(4, static_cast<std::uint32_t>(bitmap.Width()), 4);
    put(8, static_cast<std::uint32_t>(bitmap.Height()), 4);
    put(12, 1, 2);
    put(14, static_cast<std::uint32_t>(bits), 2);
    put(20, static_cast<std::uint32_t>(bitmap.Stride() * static_cast<std::size_t>(bitmap.Height())), 4);
    return h;
}

AviWriter::AviWriter(ScreenSize screen, const std::filesystem::path& tempFolder)
    : width_(screen.width / 10),
      height_(screen.height / 10),
      workFile_(TemporaryFolder(tempFolder) / kWorkFileName) {}

AviWriter::AviWriter(ScreenSize screen, PrivateWorkFolder, const std::filesystem::path& tempFolder)
    : width_(screen.width / 10), height_(screen.height / 10) {
    try {
        privateFolder_.emplace(tempFolder);
    } catch (const std::system_error& e) {
        ThrowWorkFileError(WorkFolder::NamePattern(tempFolder), e.code().value());
    }
    workFile_ = privateFolder_->Path() / kWorkFileName;
}

AviWriter::~AviWriter() {
    ReleaseWorkFile();
}

void AviWriter::ApplyMainWindowValues() {
    width_ = kMainWindowWidth;
    height_ = kMainWindowHeight;
    frameTime_ = kMainWindowFrameTime;
    stretch_ = true;
}

void AviWriter::SetWavFileName(const std::string& name) {
    if (Lower(name) == Lower(wavFileName_)) {
        return;
    }
    if (Lower(Extension(name)) != ".wav") {
        throw AviError(AviCode::kUnsupported, "WavFileName must name a file with the .wav extension", 0,
                       "not a WAV file (.wav)");
    }
    wavFileName_ = name;
}

void AviWriter::Reset() {
    audio_.reset();
    video_.reset();
    videoReady_ = false;
}

int AviWriter::OpenLockedWorkFile() {
    // O_EXCL | O_NOFOLLOW: we only ever write into a file we have just made, never through a
    // link planted in a shared temporary folder. The lock keeps a second writer (also in
    // another process) from clearing our file as stale; only its holder removes a file, so
    // whoever holds the lock while the name still leads to the file owns it.
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        // In a folder of its own the name is this writer's: it is listed before the file is made,
        // so that a signal in between cannot miss it (see ScratchFileEntry).
        if (privateFolder_) {
            workEntry_.emplace(workFile_, ScratchFileEntry::Kind::File);
        }
        UniqueFd fd(::open(workFile_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        const int openError = errno;
        if (fd.Valid()) {
            if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && SameFile(fd.Get(), workFile_)) {
                workFd_ = std::move(fd);
                workFileMoved_ = false;
                if (!workEntry_) {
                    workEntry_.emplace(workFile_, ScratchFileEntry::Kind::File);
                }
                return 0;
            }
            workEntry_.reset();
            continue;  // another writer took it for stale and is removing it
        }
        workEntry_.reset();
        if (openError != EEXIST) {
            return openError;
        }
        if (const int err = ClearWorkFileName(workFile_); err != 0) {
            return err;
        }
    }
    return kWorkFileInUse;
}

void AviWriter::OpenWorkFile() {
    ReleaseWorkFile();
    Reset();
    if (const int err = OpenLockedWorkFile(); err != 0) {
        ThrowWorkFileError(workFile_, err);
    }
    const auto fail = [](const std::string& reason, int err = 0) {
        throw AviError(AviCode::kBadParam, "Failed to create AVI video stream", err, reason);
    };
    const std::string size = std::to_string(width_) + " x " + std::to_string(height_);
    try {
        CheckPictureSize(width_, height_);
    } catch (const Error&) {
        fail("a movie cannot have frames of " + size + " pixels");
    }
    if (frameTime_ <= 0) {
        fail("a movie cannot have a frame time of " + std::to_string(frameTime_) + " ms");
    }
    try {
        stream_ = rate_ ? AviVideoStream{width_, height_, rate_->first, rate_->second}
                        : AviVideoStream{width_, height_, static_cast<std::uint32_t>(frameTime_), 1000};
        video_ = std::make_unique<AviRiffWriter>(workFd_.Get(), stream_, std::nullopt);
    } catch (const AviError& e) {
        fail("cannot start the movie's work file " + QuotedName(workFile_) + " for frames of " + size +
                 " pixels" + (e.SysError() != 0 ? std::string(": ") + std::strerror(e.SysError()) : ""),
             e.SysError());
    }
    frameIndex_ = 0;
}

void AviWriter::AddFrame(const Picture& picture) {
    AddFrame(picture.Bitmap());
}

void AviWriter::AddFrame(const PixelBuffer& picture) {
    const int index = frameIndex_;
    const ScopeExit countFrame([this] { ++frameIndex_; });
    if (!video_ || videoReady_) {
        const std::string reason = "the movie's work file is not open for frames";
        if (index == 0) {
            throw AviError(AviCode::kBadHandle, "Failed to set AVI stream format", 0, reason);
        }
        throw AviError(AviCode::kBadHandle, "Failed to add frame to AVI. Err=" + Hex8(AviCode::kBadHandle), 0,
                       reason);
    }
    const bool asIs = picture.BitsPerPixel() == 24 && picture.Width() == stream_.width &&
                      picture.Height() == stream_.height;
    if (!asIs) {
        ComposeFrame(picture);
    }
    const PixelBuffer& frame = asIs ? picture : frame_;
    static_cast<void>(BitmapInfoHeader(frame));
    try {
        video_->AddVideoFrame({frame.Data(), frame.ByteSize()});
    } catch (const AviError& e) {
        std::string message = "Failed to add frame to AVI. Err=" + Hex8(e.Code());
        const std::string frameNumber = "frame " + std::to_string(index + 1);
        std::string reason = "cannot add " + frameNumber + " to the movie: " + e.what();
        if (e.SysError() != 0) {
            std::string details = "cannot write the work file " + QuotedName(workFile_);
            if (!fileName_.empty()) {
                details += " of the movie " + QuotedName(std::string_view(fileName_));
            }
            details += std::string(": ") + std::strerror(e.SysError());
            message += ": " + details;
            reason = "cannot write " + frameNumber + " to the movie's work file " + QuotedName(workFile_) +
                     ": " + std::strerror(e.SysError());
        }
        throw AviError(e.Code(), message, e.SysError(), reason);
    }
}

void AviWriter::ComposeFrame(const PixelBuffer& picture) {
    if (frame_.Width() != stream_.width || frame_.Height() != stream_.height) {
        frame_.SetSize(stream_.width, stream_.height, 24);
    }
    if (picture.Empty()) {
        std::fill_n(frame_.Data(), frame_.ByteSize(), std::uint8_t{0});
        return;
    }
    if (stretch_) {
        if (picture.BitsPerPixel() == 24) {
            ResizeBilinear(picture, frame_);
        } else {
            ResizeBilinear(picture.To24Bit(), frame_);
        }
        return;
    }
    const Bgr background = picture.ColorAt(picture.Height() - 1, 0);
    for (int y = 0; y < stream_.height; ++y) {
        for (int x = 0; x < stream_.width; ++x) {
            frame_.SetPixel(y, x, background);
        }
    }
    picture.DrawOnto(frame_, 0, 0);
}

void AviWriter::CloseVideo() {
    if (!video_ || videoReady_) {
        throw AviError(AviCode::kBadHandle, "Could not create Video Stream", 0,
                       "the movie's work file is not open for frames");
    }
    try {
        video_->Finish();
    } catch (const AviError& e) {
        video_.reset();
        std::string reason = "cannot complete the movie's work file " + QuotedName(workFile_);
        if (e.SysError() != 0) {
            reason += std::string(": ") + std::strerror(e.SysError());
        }
        throw AviError(e.Code(), "Could not create Video Stream", e.SysError(), reason);
    }
    movieFrames_ = static_cast<int>(video_->VideoFrames());
    videoReady_ = true;
}

void AviWriter::LoadAudio() {
    audio_.reset();
    try {
        audio_ = std::make_unique<WavFile>(wavFileName_);
    } catch (const AviError& e) {
        // The message says what went wrong; the user also needs to know with which file.
        std::string message =
            std::string(e.what()) + " (audio file " + QuotedName(std::string_view(wavFileName_));
        if (e.SysError() != 0) {
            message += std::string(": ") + std::strerror(e.SysError());
        } else if (e.Code() == AviCode::kFileOpen) {
            message += ": " + e.Reason();
        }
        throw AviError(e.Code(), message + ")", e.SysError(),
                       "the sound track " + QuotedName(std::string_view(wavFileName_)) + ": " + e.Reason());
    }
}

void AviWriter::SaveMovie() {
    const ScopeExit cleanUp([this] {
        audio_.reset();
        video_.reset();
        videoReady_ = false;
        ReleaseWorkFile();
    });
    if (!wavFileName_.empty()) {
        LoadAudio();
    }
    WriteMovie();
}

void AviWriter::ThrowSaveError(int err) const {
    throw FileAccessError("Failed to save the movie " + QuotedName(std::string_view(fileName_)) + ": " +
                          std::strerror(err));
}

void AviWriter::WriteMovie() {
    if (fileName_.empty()) {
        throw FileAccessError("Failed to save the movie: no file name given");
    }
    if (!videoReady_) {
        throw FileAccessError("Failed to save the movie " + QuotedName(std::string_view(fileName_)) +
                              ": no video was recorded");
    }
    if (!audio_) {
        // The finished work file already is the movie: on the same file system it moves.
        const int err = ReplacingFile::RenameOver(workFd_.Get(), workFile_, fileName_);
        if (err == 0) {
            workFileMoved_ = true;
            workEntry_.reset();
            return;
        }
        if (err != EXDEV) {
            ThrowSaveError(err);
        }
    }
    try {
        ReplacingFile target(fileName_);
        if (audio_) {
            Remux(target.Descriptor());
        } else {
            CopyWorkFile(target.Descriptor());
        }
        target.Commit();
    } catch (const ReplacingFileError& e) {
        ThrowSaveError(e.SysError());
    }
}

void AviWriter::CopyWorkFile(int targetFd) const {
    struct stat st {};
    if (::fstat(workFd_.Get(), &st) != 0) {
        ThrowSaveError(errno);
    }
    const int err = CopyData(workFd_.Get(), targetFd, static_cast<std::uint64_t>(st.st_size));
    if (err != 0) {
        ThrowSaveError(err);
    }
}

void AviWriter::Remux(int targetFd) const {
    const WavFormat& format = audio_->Format();
    const auto run = [&](auto&& step) {
        try {
            step();
        } catch (const AviError& e) {
            ThrowSaveError(e.SysError() != 0 ? e.SysError() : EIO);
        }
    };
    std::unique_ptr<AviRiffWriter> out;
    run([&] {
        out = std::make_unique<AviRiffWriter>(
            targetFd, stream_, AviAudioStream{format.fmtChunk, format.blockAlign, format.bytesPerSecond});
    });
    const std::uint64_t totalBlocks = audio_->Frames();
    const std::uint64_t perFrame =
        std::max<std::uint64_t>(1, std::uint64_t{format.sampleRate} * stream_.scale / stream_.rate);
    const std::uint64_t chunkBlocks =
        std::clamp<std::uint64_t>(perFrame, 1, kMaxAudioChunk / format.blockAlign);
    std::vector<std::uint8_t> sound(static_cast<std::size_t>(chunkBlocks * format.blockAlign));
    std::uint64_t blocksDone = 0;
    // Audio up to the end of frame n goes in before frame n, in chunks of about one frame.
    const auto audioUntil = [&](std::uint64_t blockEnd) {
        while (blocksDone < blockEnd) {
            const std::uint64_t n = std::min(blockEnd - blocksDone, chunkBlocks);
            const std::span<std::uint8_t> bytes(sound.data(),
                                                static_cast<std::size_t>(n * format.blockAlign));
            try {
                audio_->ReadSamples(blocksDone * format.blockAlign, bytes);
            } catch (const AviError& e) {
                throw AviError(
                    e.Code(),
                    std::string(e.what()) + " (audio file " + QuotedName(std::string_view(wavFileName_)) +
                        ")",
                    e.SysError(),
                    "the sound track " + QuotedName(std::string_view(wavFileName_)) + ": " + e.Reason());
            }
            run([&] { out->AddAudio(bytes); });
            blocksDone += n;
        }
    };
    std::vector<std::uint8_t> scratch;
    std::uint64_t frameNo = 0;
    for (const AviRiffWriter::Chunk& c : video_->Chunks()) {
        ++frameNo;
        __extension__ using U128 = unsigned __int128;
        const U128 end = U128{frameNo} * stream_.scale * format.sampleRate / stream_.rate;
        audioUntil(static_cast<std::uint64_t>(std::min<U128>(end, totalBlocks)));
        run([&] { out->AddVideoFrameFrom(workFd_.Get(), c.dataPos, scratch); });
    }
    audioUntil(totalBlocks);
    run([&] { out->Finish(); });
}

void AviWriter::ReleaseWorkFile() noexcept {
    if (!workFd_.Valid()) {
        return;
    }
    // Remove the file only while it still is ours: it may have become the movie, and a file
    // of that name made later by another writer is not ours to delete.
    if (!workFileMoved_ && SameFile(workFd_.Get(), workFile_)) {
        ::unlink(workFile_.c_str());
    }
    workEntry_.reset();
    workFd_.Reset();
    workFileMoved_ = false;
}

}  // namespace vistamaze
