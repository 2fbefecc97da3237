// AddFrame + SaveMovie of 120 frames of 1920 x 1080 against writing the same bytes with write().
#include "output/AviWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using vistamaze::AviWriter;
using vistamaze::PixelBuffer;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 120;

fs::path BenchFolder() {
    const fs::path dir = fs::temp_directory_path() / ("vm-avi-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

PixelBuffer Frame() {
    PixelBuffer b(kWidth, kHeight, 24);
    for (std::size_t i = 0; i < b.ByteSize(); ++i) {
        b.Data()[i] = static_cast<std::uint8_t>(i * 2654435761U >> 24);
    }
    return b;
}

// 16-bit stereo 44.1 kHz silence as long as the movie.
fs::path MakeWav(const fs::path& dir) {
    const fs::path path = dir / "bench.wav";
    const std::uint32_t dataBytes = 44100U * 4U * kFrames * 40U / 1000U;
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    const std::string silence(dataBytes, '\0');
    out.write(silence.data(), static_cast<std::streamsize>(silence.size()));
    return path;
}

void MakeMovie(benchmark::State& state, const fs::path& target, const fs::path& wav) {
    const fs::path dir = BenchFolder();
    const PixelBuffer frame = Frame();
    for (auto _ : state) {
        AviWriter writer({kWidth * 10, kHeight * 10}, dir);
        writer.SetFrameTime(40);
        writer.SetFileName(target.string());
        if (!wav.empty()) {
            writer.SetWavFileName(wav.string());
        }
        writer.Reset();
        writer.OpenWorkFile();
        for (int i = 0; i < kFrames; ++i) {
            writer.AddFrame(frame);
        }
        writer.CloseVideo();
        writer.SaveMovie();
        state.PauseTiming();
        fs::remove(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames *
                            static_cast<std::int64_t>(frame.ByteSize()));
    fs::remove_all(dir);
}

void BM_AviSameFileSystem(benchmark::State& state) {
    MakeMovie(state, BenchFolder() / "movie.avi", {});
}

void BM_AviWithAudio(benchmark::State& state) {
    const fs::path dir = BenchFolder();
    MakeMovie(state, dir / "movie.avi", MakeWav(dir));
}

// /dev/shm is a separate file system on most Linux machines: the work file is copied.
void BM_AviOtherFileSystem(benchmark::State& state) {
    struct stat a {};
    struct stat b {};
    if (::stat(fs::temp_directory_path().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 ||
        a.st_dev == b.st_dev) {
        state.SkipWithError("no second file system at /dev/shm");
        return;
    }
    MakeMovie(state, fs::path("/dev/shm") / ("vm-avi-bench-" + std::to_string(::getpid()) + ".avi"), {});
}

void PlainWrite(benchmark::State& state, int copies) {
    const fs::path dir = BenchFolder();
    const PixelBuffer frame = Frame();
    for (auto _ : state) {
        for (int c = 0; c < copies; ++c) {
            const fs::path file = dir / ("plain" + std::to_string(c) + ".bin");
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            for (int i = 0; i < kFrames; ++i) {
                benchmark::DoNotOptimize(::write(fd, frame.Data(), frame.ByteSize()));
            }
            ::close(fd);
        }
        state.PauseTiming();
        for (int c = 0; c < copies; ++c) {
            fs::remove(dir / ("plain" + std::to_string(c) + ".bin"));
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames *
                            static_cast<std::int64_t>(frame.ByteSize()));
    fs::remove_all(dir);
}

void BM_PlainWriteOnce(benchmark::State& state) {
    PlainWrite(state, 1);
}
void BM_PlainWriteTwice(benchmark::State& state) {
    PlainWrite(state, 2);
}

}  // namespace

BENCHMARK(BM_PlainWriteOnce)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_AviSameFileSystem)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_PlainWriteTwice)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_AviWithAudio)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(BM_AviOtherFileSystem)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

BENCHMARK_MAIN();
