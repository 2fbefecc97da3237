#include "output/AviRiffWriter.h"

#include "output/RiffByteWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace vistamaze {

namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::uint32_t kAviifKeyFrame = 0x10;
constexpr std::uint8_t kIndexOfIndexes = 0;
constexpr std::uint8_t kIndexOfChunks = 1;
constexpr std::size_t kDmlhSize = 248;
constexpr std::uint64_t kMaxFrameBytes = std::uint64_t{1} << 30;
constexpr std::array<const char*, 2> kChunkIds = {"00db", "01wb"};
constexpr std::array<const char*, 2> kIxIds = {"ix00", "ix01"};

std::uint32_t Clamp32(std::uint64_t v) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
}

std::array<std::uint8_t, 4> Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

[[noreturn]] void ThrowWrite(int err) {
    throw AviError(AviCode::kFileWrite, std::string("Cannot write the movie file: ") + std::strerror(err),
                   err);
}

}  // namespace

AviRiffWriter::AviRiffWriter(int fd, const AviVideoStream& video, std::optional<AviAudioStream> audio,
                             std::uint64_t segmentLimit)
    : fd_(fd), video_(video), audio_(std::move(audio)), segmentLimit_(segmentLimit) {
    const std::uint64_t stride = ((std::uint64_t(std::max(video.width, 0)) * 24 + 31) / 32) * 4;
    const std::uint64_t frameBytes = stride * std::uint64_t(std::max(video.height, 0));
    if (video.width <= 0 || video.height <= 0 || frameBytes > kMaxFrameBytes || video.scale == 0 ||
        video.rate == 0 || (audio_ && (audio_->blockAlign == 0 || audio_->bytesPerSecond == 0))) {
        throw AviError(AviCode::kBadParam, "Invalid movie stream parameters");
    }
    frameBytes_ = static_cast<std::uint32_t>(frameBytes);
    headerSize_ = BuildHeaders().size();
    RiffByteWriter w;
    w.Id("RIFF");
    w.U32(0);
    w.Id("AVI ");
    WriteAt(0, w.Data());
    WriteAt(12, BuildHeaders());
    RiffByteWriter movi;
    movi.Id("LIST");
    movi.U32(0);
    movi.Id("movi");
    const std::uint64_t moviPos = 12 + headerSize_;
    WriteAt(moviPos, movi.Data());
    segments_.push_back({0, moviPos, 0});
    segmentOpen_ = true;
    end_ = moviPos + 12;
}

void AviRiffWriter::AddVideoFrame(std::span<const std::uint8_t> frame) {
    if (frame.size() != frameBytes_) {
        throw AviError(AviCode::kBadSize, "Frame data does not match the movie's frame size");
    }
    AddChunk(0, frame);
}

void AviRiffWriter::AddAudio(std::span<const std::uint8_t> samples) {
    if (!audio_ || samples.empty() || samples.size() % audio_->blockAlign != 0 ||
        samples.size() > kMaxFrameBytes) {
        throw AviError(AviCode::kBadSize, "Audio data does not match the movie's audio format");
    }
    AddChunk(1, samples);
}

std::uint64_t AviRiffWriter::IndexBytes(const Segment& seg, std::size_t extra) const {
    const std::uint64_t n = chunks_.size() - seg.firstChunk + extra;
    const std::uint64_t ix = 2 * 32 + 8 * n;
    return seg.riffPos == 0 ? ix + 8 + 16 * n : ix;
}

void AviRiffWriter::AddChunk(std::uint8_t stream, std::span<const std::uint8_t> data) {
    AddChunk(stream, static_cast<std::uint32_t>(data.size()),
             [this, data](std::uint64_t pos) { WriteAt(pos, data); });
}

void AviRiffWriter::AddChunk(std::uint8_t stream, std::uint32_t size,
                             const std::function<void(std::uint64_t)>& writeBody) {
    const std::uint64_t need = 8 + std::uint64_t{size} + (size & 1U);
    if (!segmentOpen_) {
        OpenSegment();
    }
    const Segment& seg = segments_.back();
    if (chunks_.size() > seg.firstChunk && end_ + need - seg.riffPos + IndexBytes(seg, 1) > segmentLimit_) {
        CloseSegment();
        OpenSegment();
    }
    RiffByteWriter head;
    head.Id(kChunkIds[stream]);
    head.U32(size);
    try {
        WriteAt(end_, head.Data());
        writeBody(end_ + 8);
        if (size % 2 != 0) {
            const std::array<std::uint8_t, 1> pad{};
            WriteAt(end_ + 8 + size, pad);
        }
    } catch (const AviError&) {
        CutBackTo(end_);
        throw;
    }
    chunks_.push_back({end_ + 8, size, stream});
    end_ += need;
    ++streamChunks_[stream];
    if (stream == 1) {
        audioBlocks_ += size / audio_->blockAlign;
    }
    maxChunk_ = std::max(maxChunk_, size);
}

void AviRiffWriter::AddVideoFrameFrom(int sourceFd, std::uint64_t sourcePos,
                                      std::vector<std::uint8_t>& scratch) {
    AddChunk(0, frameBytes_, [&](std::uint64_t pos) {
        // Within one file system the kernel copies page cache to page cache; elsewhere the
        // frame passes through the caller's buffer.
        auto in = static_cast<loff_t>(sourcePos);
        auto out = static_cast<loff_t>(pos);
        std::size_t left = frameBytes_;
        while (left > 0 && kernelCopy_) {
            const ssize_t n = ::copy_file_range(sourceFd, &in, fd_, &out, left, 0);
            if (n > 0) {
                left -= static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                ThrowWrite(errno);
            } else {
                kernelCopy_ = false;
            }
        }
        if (left == 0) {
            return;
        }
        scratch.resize(left);
        std::size_t done = 0;
        while (done < left) {
            const ssize_t n =
                ::pread(sourceFd, scratch.data() + done, left - done, in + static_cast<loff_t>(done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw AviError(AviCode::kFileRead, "Cannot read the frame to copy", n < 0 ? errno : EIO);
            }
            done += static_cast<std::size_t>(n);
        }
        WriteAt(static_cast<std::uint64_t>(out), scratch);
    });
}

void AviRiffWriter::OpenSegment() {
    // Each RIFF adds at most one super index entry per stream.
    if (segments_.size() >= kSuperIndexEntries) {
        throw AviError(AviCode::kBadSize, "The movie is too large");
    }
    RiffByteWriter w;
    w.Id("RIFF");
    w.U32(0);
    w.Id("AVIX");
    w.Id("LIST");
    w.U32(0);
    w.Id("movi");
    try {
        WriteAt(end_, w.Data());
    } catch (const AviError&) {
        CutBackTo(end_);
        throw;
    }
    segments_.push_back({end_, end_ + 12, chunks_.size()});
    segmentOpen_ = true;
    end_ += w.Size();
}

std::uint32_t AviRiffWriter::ChunkDuration(const Chunk& c) const noexcept {
    return c.stream == 0 ? 1U : c.size / audio_->blockAlign;
}

std::optional<AviRiffWriter::SuperEntry> AviRiffWriter::PutStdIndex(RiffByteWriter& w, const Segment& seg,
                                                                    std::uint8_t stream) const {
    std::uint32_t count = 0;
    std::uint64_t duration = 0;
    for (std::size_t i = seg.firstChunk; i < chunks_.size(); ++i) {
        if (chunks_[i].stream == stream) {
            ++count;
            duration += ChunkDuration(chunks_[i]);
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    const std::size_t at = w.Begin(kIxIds[stream]);
    w.U16(2);
    w.U8(0);
    w.U8(kIndexOfChunks);
    w.U32(count);
    w.Id(kChunkIds[stream]);
    w.U64(seg.moviPos);
    w.U32(0);
    for (std::size_t i = seg.firstChunk; i < chunks_.size(); ++i) {
        if (chunks_[i].stream == stream) {
            w.U32(static_cast<std::uint32_t>(chunks_[i].dataPos - seg.moviPos));
            w.U32(chunks_[i].size);  // bit 31 clear: every chunk is a key frame
        }
    }
    w.End(at);
    return SuperEntry{end_ + at, static_cast<std::uint32_t>(w.Size() - at), Clamp32(duration)};
}

void AviRiffWriter::PutLegacyIndex(RiffByteWriter& w, const Segment& seg) const {
    const std::size_t at = w.Begin("idx1");
    for (std::size_t i = seg.firstChunk; i < chunks_.size(); ++i) {
        w.Id(kChunkIds[chunks_[i].stream]);
        w.U32(kAviifKeyFrame);
        // Offsets count from the "movi" fourcc and point at the chunk header.
        w.U32(static_cast<std::uint32_t>(chunks_[i].dataPos - 8 - (seg.moviPos + 8)));
        w.U32(chunks_[i].size);
    }
    w.End(at);
}

void AviRiffWriter::CloseSegment() {
    const Segment& seg = segments_.back();
    RiffByteWriter w;
    const std::array<std::optional<SuperEntry>, 2> entries = {PutStdIndex(w, seg, 0), PutStdIndex(w, seg, 1)};
    const std::uint64_t moviEnd = end_ + w.Size();
    if (seg.riffPos == 0) {
        PutLegacyIndex(w, seg);
    }
    const std::uint64_t newEnd = end_ + w.Size();
    try {
        WriteAt(end_, w.Data());
        WriteAt(seg.moviPos + 4, Le32(static_cast<std::uint32_t>(moviEnd - seg.moviPos - 8)));
        WriteAt(seg.riffPos + 4, Le32(static_cast<std::uint32_t>(newEnd - seg.riffPos - 8)));
    } catch (const AviError&) {
        CutBackTo(end_);
        throw;
    }
    for (std::size_t s = 0; s < 2; ++s) {
        if (entries[s]) {
            superIndex_[s].push_back(*entries[s]);
        }
    }
    end_ = newEnd;
    segmentOpen_ = false;
}

void AviRiffWriter::DropLastChunk() {
    const Chunk c = chunks_.back();
    chunks_.pop_back();
    end_ = c.dataPos - 8;
    CutBackTo(end_);
    --streamChunks_[c.stream];
    if (c.stream == 1) {
        audioBlocks_ -= c.size / audio_->blockAlign;
    }
}

void AviRiffWriter::Finish() {
    while (segmentOpen_) {
        try {
            CloseSegment();
        } catch (const AviError&) {
            // The disk has no room for the index: give up trailing chunks until it has.
            const Segment& seg = segments_.back();
            if (chunks_.size() > seg.firstChunk) {
                DropLastChunk();
            } else if (segments_.size() > 1) {
                end_ = seg.riffPos;
                CutBackTo(end_);
                segments_.pop_back();
                segmentOpen_ = false;
            } else {
                throw;
            }
        }
    }
    WriteAt(12, BuildHeaders());
}

void AviRiffWriter::PutMainHeader(RiffByteWriter& w) const {
    std::uint32_t firstRiffFrames = streamChunks_[0];
    if (segments_.size() > 1) {
        firstRiffFrames = static_cast<std::uint32_t>(std::count_if(
            chunks_.begin(), chunks_.begin() + static_cast<std::ptrdiff_t>(segments_[1].firstChunk),
            [](const Chunk& c) { return c.stream == 0; }));
    }
    const std::uint64_t videoBps = std::uint64_t{frameBytes_} * video_.rate / video_.scale;
    const std::size_t at = w.Begin("avih");
    w.U32(Clamp32(std::uint64_t{video_.scale} * 1000000 / video_.rate));
    w.U32(Clamp32(videoBps + (audio_ ? audio_->bytesPerSecond : 0)));
    w.U32(0);
    w.U32(kAvifHasIndex | (audio_ ? kAvifIsInterleaved : 0));
    w.U32(firstRiffFrames);  // OpenDML: the first RIFF's share; dmlh has the total
    w.U32(0);
    w.U32(audio_ ? 2 : 1);
    w.U32(std::max(maxChunk_, frameBytes_) + 8);
    w.U32(static_cast<std::uint32_t>(video_.width));
    w.U32(static_cast<std::uint32_t>(video_.height));
    w.Zeros(16);
    w.End(at);
}

void AviRiffWriter::PutSuperIndex(RiffByteWriter& w, std::uint8_t stream) const {
    const std::size_t at = w.Begin("indx");
    w.U16(4);
    w.U8(0);
    w.U8(kIndexOfIndexes);
    w.U32(static_cast<std::uint32_t>(superIndex_[stream].size()));
    w.Id(kChunkIds[stream]);
    w.Zeros(12);
    for (const SuperEntry& e : superIndex_[stream]) {
        w.U64(e.offset);
        w.U32(e.size);
        w.U32(e.duration);
    }
    // Reserved room keeps the header size fixed, so the headers can be rewritten in place.
    w.Zeros(16 * (kSuperIndexEntries - superIndex_[stream].size()));
    w.End(at);
}

void AviRiffWriter::PutVideoStreamList(RiffByteWriter& w) const {
    const auto clampShort = [](int v) { return static_cast<std::uint16_t>(std::min(v, 32767)); };
    const std::size_t strl = w.BeginList("strl");
    std::size_t at = w.Begin("strh");
    w.Id("vids");
    w.Zeros(4 + 4 + 2 + 2 + 4);  // handler, flags, priority, language, initial frames
    w.U32(video_.scale);
    w.U32(video_.rate);
    w.U32(0);
    w.U32(streamChunks_[0]);
    w.Zeros(4 + 4 + 4);  // suggested buffer size, quality, sample size
    w.U16(0);
    w.U16(0);
    w.U16(clampShort(video_.width));
    w.U16(clampShort(video_.height));
    w.End(at);
    at = w.Begin("strf");
    w.U32(40);
    w.U32(static_cast<std::uint32_t>(video_.width));
    w.U32(static_cast<std::uint32_t>(video_.height));
    w.U16(1);
    w.U16(24);
    w.U32(0);
    w.U32(frameBytes_);
    w.Zeros(16);
    w.End(at);
    PutSuperIndex(w, 0);
    w.End(strl);
}

void AviRiffWriter::PutAudioStreamList(RiffByteWriter& w) const {
    std::uint32_t maxAudio = 0;
    for (const Chunk& c : chunks_) {
        if (c.stream == 1) {
            maxAudio = std::max(maxAudio, c.size);
        }
    }
    const std::size_t strl = w.BeginList("strl");
    std::size_t at = w.Begin("strh");
    w.Id("auds");
    w.Zeros(4 + 4 + 2 + 2 + 4);
    w.U32(audio_->blockAlign);  // one tick is one sample frame
    w.U32(audio_->bytesPerSecond);
    w.U32(0);
    w.U32(Clamp32(audioBlocks_));
    w.U32(maxAudio);
    w.U32(0);
    w.U32(audio_->blockAlign);
    w.Zeros(8);
    w.End(at);
    at = w.Begin("strf");
    w.Bytes(audio_->waveFormat);
    w.End(at);
    PutSuperIndex(w, 1);
    w.End(strl);
}

std::vector<std::uint8_t> AviRiffWriter::BuildHeaders() const {
    RiffByteWriter w;
    const std::size_t hdrl = w.BeginList("hdrl");
    PutMainHeader(w);
    PutVideoStreamList(w);
    if (audio_) {
        PutAudioStreamList(w);
    }
    const std::size_t odml = w.BeginList("odml");
    const std::size_t dmlh = w.Begin("dmlh");
    w.U32(streamChunks_[0]);
    w.Zeros(kDmlhSize - 4);
    w.End(dmlh);
    w.End(odml);
    w.End(hdrl);
    return w.Data();
}

void AviRiffWriter::WriteAt(std::uint64_t pos, std::span<const std::uint8_t> bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(pos + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ThrowWrite(errno);
        }
        if (n == 0) {
            ThrowWrite(ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
}

void AviRiffWriter::CutBackTo(std::uint64_t pos) const noexcept {
    // Best effort: a failed truncation leaves bytes past the last chunk that no index names.
    [[maybe_unused]] const int rc = ::ftruncate(fd_, static_cast<off_t>(pos));
}

}  // namespace vistamaze
