#pragma once

// A small reader of the movies we write, independent of the writer's code, so tests can check
// the index offsets that ffmpeg would forgive.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vistamaze::test {

struct AviChunk {
    std::string id;  // fourcc; for RIFF and LIST, the form/list type follows in `type`
    std::string type;
    std::uint64_t pos = 0;  // offset of the chunk header
    std::uint32_t size = 0;
    int parent = -1;  // index into AviLayout::chunks
};

struct AviIndexEntry {
    std::string id;
    std::uint64_t dataPos = 0;  // absolute offset of the chunk data the entry points at
    std::uint32_t size = 0;
    bool key = false;
};

struct AviLayout {
    std::vector<AviChunk> chunks;
    std::vector<AviIndexEntry> idx1;                  // resolved against the first movi
    std::vector<std::vector<AviIndexEntry>> openDml;  // per stream: all ix entries in order
    std::vector<std::uint32_t> superIndexDurations;   // per stream: sum of super entries
    std::uint32_t avihTotalFrames = 0;
    std::uint32_t dmlhTotalFrames = 0;
    std::vector<std::uint32_t> strhLength;        // per stream
    std::vector<std::vector<std::uint8_t>> strh;  // per stream, raw 56 bytes
    std::vector<std::vector<std::uint8_t>> strf;  // per stream, raw
    std::uint64_t fileSize = 0;
};

// Parses the RIFF tree and every index. Throws std::runtime_error on structural damage.
AviLayout ParseAvi(const std::filesystem::path& file);

// Reads `size` bytes at `pos`.
std::vector<std::uint8_t> ReadAt(const std::filesystem::path& file, std::uint64_t pos, std::size_t size);
std::string FourCcAt(const std::filesystem::path& file, std::uint64_t pos);

std::uint32_t Le32(const std::uint8_t* p);
std::uint16_t Le16(const std::uint8_t* p);

// ffprobe's description of one stream ("v:0", "a:0") of a movie, frames counted: codec_name,
// pix_fmt, width, height, nb_frames, nb_read_frames, r_frame_rate, sample_rate, channels.
// Fails the calling test when ffprobe does.
std::map<std::string, std::string> ProbeStream(const std::filesystem::path& file, const std::string& stream);

}  // namespace vistamaze::test
