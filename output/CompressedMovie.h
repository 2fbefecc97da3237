#pragma once

#include "engine/PixelBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vistamaze {

// The movie files the programs write, by the extension of the name (any letter case): ".avi"
// uncompressed (AviWriter), ".mp4" and ".webm" compressed (CompressedMovie).
enum class MovieFileFormat { None, Avi, Mp4, WebM };
[[nodiscard]] MovieFileFormat MovieFileFormatFor(const std::filesystem::path& file);

// A frame rate as a fraction: `frames` frames every `seconds` seconds (30000 / 1001 for NTSC's
// 29.97), both 1..1000000 and at most 1000 frames a second.
struct ExactFrameRate {
    std::uint32_t frames = 25;
    std::uint32_t seconds = 1;
};

// Whether `rate` is one ExactFrameRate allows.
[[nodiscard]] bool ExactRateFits(const ExactFrameRate& rate) noexcept;

enum class MovieCodec {
    H264,  // in MP4, with AAC sound
    Vp9,   // in WebM, with Opus sound
};

// The codec of a compressed movie file format; none for AVI and other names.
[[nodiscard]] std::optional<MovieCodec> CompressedCodecFor(MovieFileFormat format);

// What a user may choose for a codec: the constant quality (CRF: 0 is the best, larger numbers
// make smaller files) and the speed preset (faster ones make larger files).
struct MovieCodecChoices {
    const char* name;       // "H.264", "VP9"
    const char* extension;  // ".mp4", ".webm"
    int maxCrf;
    int defaultCrf;
    std::span<const char* const> presets;  // fastest first
    const char* defaultPreset;
};
[[nodiscard]] const MovieCodecChoices& ChoicesFor(MovieCodec codec);

struct CompressedMovieSettings {
    int width = 0;  // frame size in pixels, within the picture limits (ImageLimits.h)
    int height = 0;
    int frameTime = 40;  // milliseconds a frame: 1000 / frameTime frames a second, as an AVI
    MovieCodec codec = MovieCodec::H264;
    std::optional<int> crf;       // none: the codec's default; else 0..maxCrf
    std::string preset;           // empty: the codec's default; else one of its presets
    std::filesystem::path sound;  // a WAV file for the sound track; empty: none
    // When set: exactly rate.frames / rate.seconds frames a second in place of frameTime (a depth
    // video's own rate).
    std::optional<ExactFrameRate> rate;
};

// Writes a compressed movie (H.264 in MP4, VP9 in WebM) frame by frame, through FFmpeg's libraries
// in the module vistamaze-ffmpeg.so, which is loaded on first use: beside the program, in
// ../libexec/vistamaze, or where VISTAMAZE_FFMPEG_MODULE names it.
//
// Frames go to a work file in a work folder of this movie's own under the temporary folder (both
// listed for RemoveScratchFiles()); Finish completes it (an MP4 gets its index in front) and puts
// it in place of the target in one step, so the target is replaced only by a finished movie and a
// failure or a movie never finished leaves it as it was. The sound track is encoded as the frames
// come (AAC in MP4, Opus in WebM; more than two channels mixed down to stereo), the whole WAV
// file as an AVI carries it, also when it outlasts the frames. Frames are converted to 4:2:0 with
// BT.709's matrix in the limited range, as the stream is tagged; an H.264 movie of an odd width or
// height is one pixel wider or higher, its last column or row repeated.
//
// Every failure throws vistamaze::Error with one line naming the movie and the cause.
class CompressedMovie {
public:
    // Checks the settings and the sound track, loads the module and starts the work file. Throws
    // Error: 'Cannot make the movie "<target>": <cause>' (a size, frame time, CRF or preset out of
    // range, the module missing or unusable, the work file not possible), or for the sound track
    // 'Cannot make the movie "<target>": the sound track "<wav>": <WavFile's reason>'.
    CompressedMovie(std::filesystem::path target, const CompressedMovieSettings& settings,
                    const std::filesystem::path& tempFolder = {});
    // Removes the work file and folder unless Finish put the movie in place.
    ~CompressedMovie();
    CompressedMovie(const CompressedMovie&) = delete;
    CompressedMovie& operator=(const CompressedMovie&) = delete;

    // Appends `picture` as the next frame, after the sound up to that frame's end: a 24-bit picture
    // of the movie's size as it is, any other scaled to it, an empty one black. Throws Error
    // 'Failed to add frame <n> to the movie "<target>": <cause>' (the cause names the work file
    // when it could not be written, with the system's reason); the frames before it stay.
    void AddFrame(const PixelBuffer& picture);

    // Encodes the rest of the sound track, completes the movie and puts it in place of the target
    // (a symbolic link's file is replaced; an existing target keeps its permissions). Returns the
    // frames it holds. Throws Error 'Failed to save the movie "<target>": <cause>' ("it has no
    // frames" when none was added) and leaves the target as it was. Call once.
    int Finish();

    [[nodiscard]] int FramesWritten() const noexcept { return frames_; }
    [[nodiscard]] const std::filesystem::path& Target() const noexcept { return target_; }
    [[nodiscard]] const std::filesystem::path& WorkFile() const noexcept;

private:
    class Work;

    void AddSoundUntil(std::uint64_t frameEnd);
    [[noreturn]] void ThrowSaveError(const std::string& cause) const;

    std::filesystem::path target_;
    CompressedMovieSettings settings_;
    std::unique_ptr<Work> work_;
    PixelBuffer frame_;  // a picture scaled to the movie's size
    int frames_ = 0;
    bool finished_ = false;
};

}  // namespace vistamaze
