#pragma once

// What the programs see of FFmpeg's libraries: the entry points of the module vistamaze-ffmpeg.so,
// built from FfmpegMovie.cpp, the one file of ours that includes FFmpeg. FFmpeg's libraries and the
// codecs they link are well over a hundred shared objects, whose loading would add a noticeable part
// of a second to every start of every program; the module is loaded only when a compressed movie is
// made (CompressedMovie) or a depth video read (vistamaze-video). Plain C types only, and no exception
// crosses: vistamaze-render carries its own C++ runtime, the module uses the system's.

#include <cstddef>
#include <cstdint>

extern "C" {

// Bumped whenever a structure or a function below changes.
inline constexpr int kFfmpegMovieAbi = 2;

enum VmMovieCodec : int {
    kVmMovieH264 = 0,  // MP4: H.264 (libx264), AAC sound
    kVmMovieVp9 = 1,   // WebM: VP9 (libvpx), Opus sound
};

// A movie to write. Strings are UTF-8 or the file system's bytes, zero-terminated, read only during
// the call.
struct VmMovieRequest {
    const char* file;  // written (created or truncated) and completed by finish
    int width;         // frame size in pixels, even or odd
    int height;
    int frameTime;       // milliseconds a frame: the movie runs at 1000 / frameTime frames a second
    int codec;           // a VmMovieCodec
    int crf;             // constant quality, in the codec's own scale
    const char* preset;  // the codec's speed: an H.264 preset name, or "realtime" / "good" for VP9
    int soundChannels;   // of the samples passed to addSound, 1..8; 0: no sound track
    int soundRate;       // of the samples passed to addSound, in sample frames a second
    int rateNum;         // when both are above 0: the movie runs at exactly rateNum / rateDen frames
    int rateDen;         // a second, and frameTime is not used
};

// What failed: one line of text, and the errno value behind it (0 when none applies).
struct VmMovieError {
    int sysError;
    char text[512];
};

// What a video file holds, as far as its headers say before the first frame.
struct VmVideoFacts {
    int width;  // of the frames nextFrame hands out
    int height;
    int rateNum;  // frames a second, rateNum / rateDen; both 0 when the file does not say
    int rateDen;
    long long frames;   // frames the file claims to hold; 0 when it does not say
    int grey;           // 1: the frames are grey and come as 8-bit grey, 0: colour, as BGR
    int soundChannels;  // of the samples nextSound hands out, 1 or 2; 0: no sound track
    int soundRate;      // sample frames a second
};

struct VmMovieModule {
    int abi;  // kFfmpegMovieAbi
    // Starts the movie: a handle for the calls below, or null with `error` set.
    void* (*open)(const VmMovieRequest* request, VmMovieError* error);
    // Appends one frame of width x height 24-bit pixels, blue, green, red, in rows from the top
    // row; `stride` is the distance in bytes from a row to the one below (negative for bottom-up
    // pictures). 0, or -1 with `error` set.
    int (*addFrame)(void* movie, const std::uint8_t* topRow, std::ptrdiff_t stride, VmMovieError* error);
    // Appends `frames` sample frames of interleaved float samples in -1..1, at the request's channels
    // and rate, to the sound track. 0, or -1 with `error` set.
    int (*addSound)(void* movie, const float* samples, std::size_t frames, VmMovieError* error);
    // Encodes what the encoders still hold, completes and closes the file. 0, or -1 with `error` set.
    int (*finish)(void* movie, VmMovieError* error);
    // Frees the handle; the file stays as it is (a movie not finished may not play).
    void (*close)(void* movie);

    // Opens a video file for reading (the best video stream, and with `withSound` not 0 the best
    // sound stream when there is one) and fills `facts`: a handle for the calls below, or null
    // with `error` set (no video stream, a pixel format that is neither grey nor colour, a sound
    // track that cannot be decoded, a file FFmpeg cannot read).
    void* (*openVideo)(const char* file, int withSound, VmVideoFacts* facts, VmMovieError* error);
    // Decodes the next frame into `pixels`: facts.height rows from the top row, `stride` bytes
    // apart, of facts.width pixels, each one byte of grey or three of blue, green, red (as
    // facts.grey says); a frame of another size is scaled to it. 1 with a frame, 0 after the last,
    // -1 with `error` set.
    int (*nextFrame)(void* video, std::uint8_t* pixels, std::ptrdiff_t stride, VmMovieError* error);
    // Decodes up to `maxFrames` sample frames of the sound track into `samples`, interleaved
    // float at facts.soundChannels and facts.soundRate (more than 2 channels are mixed down to
    // stereo). The count, 0 after the last, -1 with `error` set. The sound and the frames are read
    // apart: either may be read first, or alone.
    long long (*nextSound)(void* video, float* samples, std::size_t maxFrames, VmMovieError* error);
    // Frees the handle.
    void (*closeVideo)(void* video);
};

// The module's one exported symbol.
inline constexpr const char* kFfmpegMovieEntry = "VistamazeFfmpegMovie";
using VmMovieEntry = const VmMovieModule* (*)();

}  // extern "C"
