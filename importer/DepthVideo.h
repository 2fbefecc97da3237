#pragma once

#include "engine/Picture.h"
#include "importer/ChildProcess.h"
#include "importer/VideoWire.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vistamaze {

// The extensions of the video files taken as depth videos (any letter case): .mp4, .mkv, .webm,
// .mov, .avi.
[[nodiscard]] bool IsDepthVideoName(const std::filesystem::path& file);

// A video file read frame by frame as depth maps. FFmpeg parses it in the helper program
// vistamaze-video, a process of its own that may read only the video's folder, with 1 GiB of
// address space (none in sanitizer builds) and 20 s for each part of its answer (the facts, each
// sound chunk, each frame); what it streams back is checked before use (importer/VideoWire.h).
// Every failure throws vistamaze::Error with one line 'Cannot read depth video "<file>": <cause>':
// a file missing or not a regular file, no video stream, a pixel format neither grey nor colour,
// frames larger than 6000 x 4000 pixels, more than 1000000 frames, a damaged file, "the video
// reader stopped (<signal>)", "... needs more than 1 GiB of memory", "... took longer than 20 s".
class DepthVideo {
public:
    static constexpr std::uint64_t kMemoryLimitBytes = std::uint64_t{1} << 30;
    static constexpr std::chrono::milliseconds kTimeLimit{20'000};

    // Starts the helper (`program`; FindProgram() when empty) and reads the video's facts.
    // `withSound`: whether the sound track is read at all. `timeLimit`: for each part of the
    // answer.
    DepthVideo(std::filesystem::path file, bool withSound, std::filesystem::path program = {},
               std::chrono::milliseconds timeLimit = kTimeLimit);
    ~DepthVideo();
    DepthVideo(const DepthVideo&) = delete;
    DepthVideo& operator=(const DepthVideo&) = delete;

    // $VISTAMAZE_VIDEO_READER, else vistamaze-video beside the program or in ../libexec/vistamaze.
    [[nodiscard]] static std::filesystem::path FindProgram();

    [[nodiscard]] const videowire::Facts& Facts() const noexcept { return facts_; }
    // Milliseconds a frame at the video's rate, 1..1000; 40 (25 frames a second) when the file
    // does not say.
    [[nodiscard]] int FrameTime() const noexcept;

    // Hands the whole sound track to `sink` in order, as interleaved float samples in -1..1 at
    // Facts().soundChannels and soundRate. Call before the first frame; nothing when the video has
    // no sound or was opened without it.
    void ReadSound(const std::function<void(std::span<const float>)>& sink);
    // The next frame as a 24-bit picture of the video's size, or none after the last (a video
    // without any frame fails: "it holds no frames").
    [[nodiscard]] std::optional<Picture> NextFrame();

private:
    template <typename Work>
    decltype(auto) Checked(Work&& work);
    [[noreturn]] void Fail(const std::string& cause) const;

    std::filesystem::path file_;
    std::chrono::milliseconds timeLimit_;
    std::unique_ptr<ChildProcess> child_;
    std::unique_ptr<videowire::StreamReader> stream_;
    videowire::Facts facts_;
    std::optional<Picture> pending_;  // a frame read while looking for more sound
    bool ended_ = false;
    std::uint64_t frames_ = 0;  // handed out
};

}  // namespace vistamaze
