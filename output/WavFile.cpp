#include "output/WavFile.h"

#include "output/FileKind.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistamaze {

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint32_t kMaxFmtChunk = 4096;
// The GUID of an extensible sub-format after its first four bytes (the format tag).
constexpr std::array<std::uint8_t, 12> kSubFormatTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                         0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
bool IsId(const std::uint8_t* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

// What failed, in plain words, for AviError::Reason(); the file is named by the caller.
std::string ReasonFor(AviCode code, int sysError) {
    const std::string system = sysError != 0 ? std::string(": ") + std::strerror(sysError) : std::string();
    switch (code) {
        case AviCode::kBadFormat:
            return "not a WAV file of PCM or floating-point sound, or a damaged one";
        case AviCode::kNoData:
            return "the WAV file holds no sound";
        case AviCode::kFileRead:
            return "cannot read it" + system;
        case AviCode::kFileOpen:
            return "cannot open it" + system;
        default:
            return LoadAudioMessage(code);
    }
}

[[noreturn]] void Fail(AviCode code, int sysError = 0, std::string reason = {}) {
    throw AviError(code, LoadAudioMessage(code), sysError,
                   reason.empty() ? ReasonFor(code, sysError) : std::move(reason));
}

void ReadOrFail(const WavReadAt& read, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    errno = 0;
    if (!read(offset, out, size)) {
        Fail(AviCode::kFileRead, errno);
    }
}

WavFormat DecodeFormat(std::vector<std::uint8_t> chunk) {
    if (chunk.size() < 16) {
        Fail(AviCode::kBadFormat);
    }
    WavFormat f;
    const std::uint8_t* p = chunk.data();
    f.formatTag = U16(p);
    f.channels = U16(p + 2);
    f.sampleRate = U32(p + 4);
    f.blockAlign = U16(p + 12);
    f.bitsPerSample = U16(p + 14);
    f.sampleTag = f.formatTag;
    if (f.formatTag == kTagExtensible) {
        if (chunk.size() < 40 || U16(p + 16) < 22 ||
            !std::equal(kSubFormatTail.begin(), kSubFormatTail.end(), p + 28)) {
            Fail(AviCode::kBadFormat);
        }
        const std::uint32_t sub = U32(p + 24);
        f.sampleTag = sub <= 0xFFFF ? static_cast<std::uint16_t>(sub) : 0;
    }
    const bool pcm = f.sampleTag == kTagPcm && f.bitsPerSample >= 1 && f.bitsPerSample <= 64;
    const bool flt = f.sampleTag == kTagFloat && (f.bitsPerSample == 32 || f.bitsPerSample == 64);
    const std::uint32_t expectedAlign = std::uint32_t{f.channels} * ((f.bitsPerSample + 7U) / 8U);
    const std::uint64_t perSecond = std::uint64_t{f.sampleRate} * f.blockAlign;
    if ((!pcm && !flt) || f.channels == 0 || f.sampleRate == 0 || f.blockAlign != expectedAlign ||
        perSecond > std::numeric_limits<std::uint32_t>::max()) {
        Fail(AviCode::kBadFormat);
    }
    f.bytesPerSecond = static_cast<std::uint32_t>(perSecond);
    f.fmtChunk = std::move(chunk);
    return f;
}

}  // namespace

std::string LoadAudioMessage(AviCode code) {
    switch (code) {
        case AviCode::kClassNotRegistered:
            return "According to the registry, the type of audio file specified in AVIFileOpen does "
                   "not have a handler to process it.";
        case AviCode::kBadFormat:
            return "The file could not be read, indicating a corrupt file or an unrecognized format.";
        case AviCode::kMemory:
            return "The file could not be opened because of insufficient memory.";
        case AviCode::kFileRead:
            return "A disk error occurred while reading the audio file.";
        case AviCode::kFileOpen:
            return "A disk error occurred while opening the audio file.";
        case AviCode::kNoData:
            return "Unable to get audio stream";
        default:
            return "Unknown error opening audio file";
    }
}

WavLayout ParseWav(const WavReadAt& read, std::uint64_t fileSize) {
    std::array<std::uint8_t, 12> head{};
    if (fileSize < head.size()) {
        Fail(AviCode::kBadFormat);
    }
    ReadOrFail(read, 0, head.data(), head.size());
    if (!IsId(head.data(), "RIFF") || !IsId(head.data() + 8, "WAVE")) {
        Fail(AviCode::kBadFormat);
    }
    // The RIFF size field is not trusted: writers get it wrong, and some put chunks after it.
    bool haveFormat = false;
    bool haveData = false;
    WavLayout layout;
    std::uint64_t pos = head.size();
    while (pos + 8 <= fileSize && !(haveFormat && haveData)) {
        std::array<std::uint8_t, 8> chunk{};
        ReadOrFail(read, pos, chunk.data(), chunk.size());
        const std::uint32_t size = U32(chunk.data() + 4);
        const std::uint64_t body = pos + 8;
        if (IsId(chunk.data(), "fmt ") && !haveFormat) {
            if (size > kMaxFmtChunk || body + size > fileSize) {
                Fail(AviCode::kBadFormat);
            }
            std::vector<std::uint8_t> bytes(size);
            ReadOrFail(read, body, bytes.data(), bytes.size());
            layout.format = DecodeFormat(std::move(bytes));
            haveFormat = true;
        } else if (IsId(chunk.data(), "data") && !haveData) {
            layout.dataOffset = body;
            // 0xFFFFFFFF is what streaming writers leave when they never learn the length.
            const std::uint64_t present = fileSize - body;
            layout.dataSize = size == 0xFFFFFFFFU ? present : std::min<std::uint64_t>(size, present);
            haveData = true;
        }
        if (size == 0xFFFFFFFFU) {
            break;
        }
        pos = body + size + (size & 1U);
    }
    if (!haveFormat) {
        Fail(AviCode::kBadFormat);
    }
    layout.dataSize -= layout.dataSize % layout.format.blockAlign;
    if (!haveData || layout.dataSize == 0) {
        Fail(AviCode::kNoData);
    }
    return layout;
}

// O_NONBLOCK: opening a FIFO must not wait for a writer; the file is refused below before any
// read, and on a regular file the flag changes nothing.
WavFile::WavFile(const std::filesystem::path& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
    struct stat st {};
    if (!fd_.Valid() || ::fstat(fd_.Get(), &st) != 0) {
        Fail(AviCode::kFileOpen, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        Fail(AviCode::kFileOpen, EISDIR, "it is a folder");
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(AviCode::kFileOpen, 0, "it is not a regular file" + KindOfSpecialFile(st.st_mode));
    }
    const int fd = fd_.Get();
    const WavReadAt readAt = [fd](std::uint64_t offset, std::uint8_t* out, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::pread(fd, out, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            out += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
        return true;
    };
    layout_ = ParseWav(readAt, static_cast<std::uint64_t>(st.st_size));
}

void WavFile::ReadSamples(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > layout_.dataSize || out.size() > layout_.dataSize - offset) {
        Fail(AviCode::kFileRead, 0, "the file ends early");
    }
    std::uint64_t at = layout_.dataOffset + offset;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd_.Get(), out.data() + done, out.size() - done, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail(AviCode::kFileRead, n < 0 ? errno : 0, n < 0 ? std::string() : "the file ends early");
        }
        done += static_cast<std::size_t>(n);
        at += static_cast<std::uint64_t>(n);
    }
}

}  // namespace vistamaze
