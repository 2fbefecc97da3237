#pragma once

#include "output/AviError.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vistamaze {

class RiffByteWriter;

// The uncompressed 24-bit DIB video stream of a movie.
struct AviVideoStream {
    int width = 0;
    int height = 0;
    std::uint32_t scale = 1000;  // frame duration is scale / rate seconds
    std::uint32_t rate = 1000;
};

// A PCM audio stream; its format block is stored unchanged.
struct AviAudioStream {
    std::vector<std::uint8_t> waveFormat;  // WAVEFORMATEX (or extensible), as in the WAV file
    std::uint32_t blockAlign = 0;          // bytes of one sample frame
    std::uint32_t bytesPerSecond = 0;
};

// Writes an OpenDML (AVI 2.0) movie with one video stream ("00db" chunks) and an optional
// audio stream ("01wb" chunks) onto a caller-owned file descriptor, from offset 0.
//
// The first RIFF ("AVI ") carries the headers, a legacy "idx1" index and its share of the
// chunks; further chunks go into "RIFF AVIX" extensions of at most `segmentLimit` bytes. Each
// RIFF's "movi" list ends with an "ix00"/"ix01" standard index; the "indx" super index in each
// stream header points to them, and "dmlh" holds the total frame count.
//
// The file stays consistent after every failed write: a chunk that could not be written
// completely is cut off again, so Finish still turns the chunks written so far into a
// playable movie.
class AviRiffWriter {
public:
    static constexpr std::uint64_t kDefaultSegmentLimit = std::uint64_t{1} << 30;
    // Super index entries reserved per stream: at the default limit about 256 GiB of movie.
    static constexpr std::uint32_t kSuperIndexEntries = 256;

    struct Chunk {
        std::uint64_t dataPos;  // file offset of the chunk's first data byte
        std::uint32_t size;     // data bytes, without the pad byte
        std::uint8_t stream;    // 0 video, 1 audio
    };

    // Writes the headers. Throws AviError (kBadParam) for a frame size of more than 2 GiB or a
    // zero scale or rate, (kFileWrite) when the headers cannot be written.
    AviRiffWriter(int fd, const AviVideoStream& video, std::optional<AviAudioStream> audio,
                  std::uint64_t segmentLimit = kDefaultSegmentLimit);

    // Bytes of one frame: rows padded to 4 bytes, bottom row first.
    [[nodiscard]] std::uint32_t FrameBytes() const noexcept { return frameBytes_; }

    // Appends one key frame of FrameBytes() bytes. Throws AviError: kBadSize for data of another
    // size, kBadSize when the super index is full, kFileWrite (with errno) when the disk
    // refuses; the frame is then not part of the movie.
    void AddVideoFrame(std::span<const std::uint8_t> frame);
    // Appends one key frame copied from FrameBytes() bytes at `sourcePos` in `sourceFd`, through
    // the kernel where it can, else through `scratch`. Throws as AddVideoFrame, and AviError
    // (kFileRead) when the source cannot be read.
    void AddVideoFrameFrom(int sourceFd, std::uint64_t sourcePos, std::vector<std::uint8_t>& scratch);
    // Appends audio bytes (whole sample frames) as one chunk. Throws as AddVideoFrame.
    void AddAudio(std::span<const std::uint8_t> samples);

    // Writes the last indexes and the final headers. When the disk cannot take the indexes,
    // trailing chunks are dropped until it can. Throws AviError (kFileWrite) when even an
    // empty movie cannot be completed. Must be called once, last.
    void Finish();

    [[nodiscard]] std::uint32_t VideoFrames() const noexcept { return streamChunks_[0]; }
    // All chunks written, in file order.
    [[nodiscard]] const std::vector<Chunk>& Chunks() const noexcept { return chunks_; }

private:
    struct Segment {
        std::uint64_t riffPos;
        std::uint64_t moviPos;   // offset of the "LIST" of the "movi" list
        std::size_t firstChunk;  // index into chunks_
    };
    struct SuperEntry {
        std::uint64_t offset;
        std::uint32_t size;
        std::uint32_t duration;
    };

    void AddChunk(std::uint8_t stream, std::span<const std::uint8_t> data);
    // Writes the chunk header, lets `writeBody` write `size` bytes at the given offset, pads.
    void AddChunk(std::uint8_t stream, std::uint32_t size,
                  const std::function<void(std::uint64_t)>& writeBody);
    [[nodiscard]] std::uint64_t IndexBytes(const Segment& seg, std::size_t extra) const;
    void OpenSegment();
    void CloseSegment();
    void DropLastChunk();
    [[nodiscard]] std::optional<SuperEntry> PutStdIndex(RiffByteWriter& w, const Segment& seg,
                                                        std::uint8_t stream) const;
    void PutLegacyIndex(RiffByteWriter& w, const Segment& seg) const;
    void PutMainHeader(RiffByteWriter& w) const;
    void PutSuperIndex(RiffByteWriter& w, std::uint8_t stream) const;
    void PutVideoStreamList(RiffByteWriter& w) const;
    void PutAudioStreamList(RiffByteWriter& w) const;
    [[nodiscard]] std::vector<std::uint8_t> BuildHeaders() const;
    [[nodiscard]] std::uint32_t ChunkDuration(const Chunk& c) const noexcept;
    void WriteAt(std::uint64_t pos, std::span<const std::uint8_t> bytes) const;
    void CutBackTo(std::uint64_t pos) const noexcept;

    int fd_;
    AviVideoStream video_;
    std::optional<AviAudioStream> audio_;
    std::uint64_t segmentLimit_;
    std::uint32_t frameBytes_ = 0;
    std::size_t headerSize_ = 0;
    std::uint64_t end_ = 0;
    std::vector<Chunk> chunks_;
    std::vector<Segment> segments_;
    bool segmentOpen_ = false;
    bool kernelCopy_ = true;
    std::array<std::vector<SuperEntry>, 2> superIndex_;
    std::array<std::uint32_t, 2> streamChunks_{};
    std::uint64_t audioBlocks_ = 0;
    std::uint32_t maxChunk_ = 0;
};

}  // namespace vistamaze
