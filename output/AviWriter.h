#pragma once

#include "engine/Picture.h"
#include "engine/PixelBuffer.h"
#include "output/AviRiffWriter.h"
#include "output/ScratchFiles.h"
#include "output/UniqueFd.h"
#include "output/WavFile.h"
#include "output/WorkFolder.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vistamaze {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// The 40-byte bitmap information header of a frame bitmap (no colour table): size 40,
// width, height (positive: bottom row first), 1 plane, its bits per pixel, no compression,
// image size = stride * height. Throws Error "Invalid bitmap" for an empty bitmap and
// "Invalid pixel foramt" for depths other than 1, 4, 8 and 24 bits.
std::array<std::uint8_t, 40> BitmapInfoHeader(const PixelBuffer& bitmap);

// Writes an uncompressed 24-bit AVI movie frame by frame, optionally with the audio of a WAV
// file. Frames go to the work file "~AWTemp.avi" in the temporary folder, which is held
// exclusively while a movie is made (a second writer, also in another process, cannot open
// it); SaveMovie turns it into FileName and removes it. The work file is always a new regular
// file of this writer: a symbolic link of that name is removed, never followed. The work file and
// a private work folder are listed for RemoveScratchFiles() while they exist.
//
// Use: Reset, OpenWorkFile, AddFrame per frame, CloseVideo, SaveMovie. Run CloseVideo and
// SaveMovie also after an AddFrame error: the frames written so far become the movie. Every
// failure throws vistamaze::Error with the message the program shows; the failures below that
// are AviErrors also say what failed in plain words, without codes (AviError::Reason()).
class AviWriter {
public:
    static constexpr int kMainWindowWidth = 800;
    static constexpr int kMainWindowHeight = 600;
    static constexpr int kMainWindowFrameTime = 40;
    static constexpr const char* kWorkFileName = "~AWTemp.avi";

    // Creation defaults: Width = screen width / 10, Height = screen height / 10, FrameTime 1000
    // ms, Stretch true, no file names. The work file lies in `tempFolder`, or in the system's
    // temporary folder when it is empty; its name is fixed from here on.
    explicit AviWriter(ScreenSize screen, const std::filesystem::path& tempFolder = {});
    struct PrivateWorkFolder {};
    // As above, but the work file lies in a new folder of this writer's own, made under
    // `tempFolder` (or the system's temporary folder) and removed with the writer, so that
    // writers in parallel processes never meet. Throws Error "Failed to create AVI video work
    // file" with the folder and the system's reason when the folder cannot be made.
    AviWriter(ScreenSize screen, PrivateWorkFolder, const std::filesystem::path& tempFolder = {});
    // Closes and removes a work file still held, and the private work folder.
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // The values the main window gives its writer: 800 x 600, 40 ms, Stretch on, no WAV.
    void ApplyMainWindowValues();

    [[nodiscard]] int Width() const noexcept { return width_; }
    void SetWidth(int pixels) noexcept { width_ = pixels; }
    [[nodiscard]] int Height() const noexcept { return height_; }
    void SetHeight(int pixels) noexcept { height_ = pixels; }
    // Duration of one frame in milliseconds: the movie runs at 1000 / FrameTime frames/second.
    [[nodiscard]] int FrameTime() const noexcept { return frameTime_; }
    void SetFrameTime(int milliseconds) noexcept {
        frameTime_ = milliseconds;
        rate_.reset();
    }
    // A rate of exactly `frames` frames every `seconds` seconds (both 1..1000000) in place of the
    // frame time, for a movie that follows a video's rate (29.97 is 30000 / 1001); SetFrameTime
    // goes back to whole milliseconds.
    void SetFrameRate(std::uint32_t frames, std::uint32_t seconds) noexcept {
        rate_.emplace(seconds, frames);
    }
    // True: each picture is scaled to the frame size; false: placed unscaled at the top-left
    // corner on the colour of its own top-left pixel, cut at the right and bottom.
    [[nodiscard]] bool Stretch() const noexcept { return stretch_; }
    void SetStretch(bool on) noexcept { stretch_ = on; }
    [[nodiscard]] const std::string& FileName() const noexcept { return fileName_; }
    void SetFileName(const std::string& name) { fileName_ = name; }
    [[nodiscard]] const std::string& WavFileName() const noexcept { return wavFileName_; }
    // Ignored when equal to the current name up to letter case; otherwise the extension must be
    // ".wav" in any case, else throws AviError "WavFileName must name a file with the .wav
    // extension" (Reason(): "not a WAV file (.wav)") and keeps the old name (so a name once set
    // cannot be cleared).
    void SetWavFileName(const std::string& name);
    // No sound track for the next movie.
    void ClearWavFileName() noexcept { wavFileName_.clear(); }

    [[nodiscard]] const std::filesystem::path& WorkFileName() const noexcept { return workFile_; }
    // Frames passed to AddFrame since OpenWorkFile, failed ones included.
    [[nodiscard]] int FrameIndex() const noexcept { return frameIndex_; }
    // The frames the video completed by the last CloseVideo holds: those AddFrame wrote, less any
    // a full disk left no room to index.
    [[nodiscard]] int MovieFrames() const noexcept { return movieFrames_; }

    // Forgets the video and audio of a previous movie.
    void Reset();
    // Creates the work file and its video stream for Width x Height at FrameTime. A work file
    // that a crash left behind (a regular file of this user that no writer holds) is replaced.
    // Throws AviError "Failed to create AVI video work file" followed by the file and the reason
    // (cannot create it, another writer holds it, or the name is taken by something not ours) or
    // "Failed to create AVI video stream" (size or frame time unusable).
    void OpenWorkFile();
    // Appends one key frame made from `picture` (any depth; an empty picture gives a black
    // frame). The frame index counts up also when this throws AviError: "Failed to set AVI stream
    // format" (first frame, no video stream) or "Failed to add frame to AVI. Err=XXXXXXXX"
    // (8 upper-case hex digits of an AviCode, e.g. 8004406E when the disk is full), followed by
    // the work file, FileName and the system's reason when the work file refused the frame.
    void AddFrame(const Picture& picture);
    void AddFrame(const PixelBuffer& picture);
    // Completes the written video. Throws AviError "Could not create Video Stream" when there is
    // no video stream or it cannot be completed.
    void CloseVideo();
    // Writes FileName (with the WAV's audio when WavFileName is set), then closes and removes
    // the work file, also when it fails. The movie is written beside FileName and renamed over
    // it, so a failed save leaves an existing file as it was. Throws the LoadAudio messages, "A
    // disk error occurred while reading the audio file." with the file for a WAV that fails
    // while copied (AviError, Reason() 'the sound track "<file>": <reason>'), and
    // FileAccessError ("Failed to save the movie <FileName>: <reason>") when the movie cannot
    // be written (its temporary file is removed).
    void SaveMovie();
    // Opens WavFileName and checks its audio. Throws AviError with the message for its failure
    // (see LoadAudioMessage) and the file; Reason(): 'the sound track "<file>": ' and WavFile's.
    void LoadAudio();

private:
    void ReleaseWorkFile() noexcept;
    [[nodiscard]] int OpenLockedWorkFile();
    void ComposeFrame(const PixelBuffer& picture);
    void WriteMovie();
    void CopyWorkFile(int targetFd) const;
    void Remux(int targetFd) const;
    [[noreturn]] void ThrowSaveError(int err) const;

    int width_;
    int height_;
    int frameTime_ = 1000;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> rate_;  // scale and rate, when exact
    bool stretch_ = true;
    std::string fileName_;
    std::string wavFileName_;
    std::optional<WorkFolder> privateFolder_;  // none: the work file lies in a shared folder
    std::filesystem::path workFile_;

    UniqueFd workFd_;
    std::optional<ScratchFileEntry> workEntry_;  // workFile_, while this writer holds it
    bool workFileMoved_ = false;
    AviVideoStream stream_;  // frame size and rate fixed by OpenWorkFile
    std::unique_ptr<AviRiffWriter> video_;
    bool videoReady_ = false;
    std::unique_ptr<WavFile> audio_;
    int frameIndex_ = 0;
    int movieFrames_ = 0;
    PixelBuffer frame_;
};

}  // namespace vistamaze
