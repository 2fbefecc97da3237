#include "cli/MovieOutput.h"

#include "cli/EngineSetup.h"
#include "cli/FileRoles.h"
#include "engine/Errors.h"
#include "output/AviError.h"
#include "output/WavFile.h"

#include <filesystem>

namespace vistamaze::cli {

namespace {

// A work folder of its own: users run several renderers at once.
AviWriter& MakeWriter(std::optional<AviWriter>& writer, const RenderOptions& o) {
    try {
        return writer.emplace(ScreenSize{o.width * 10, o.height * 10}, AviWriter::PrivateWorkFolder{});
    } catch (const AviError& e) {
        throw Error(e.Reason());
    }
}

}  // namespace

std::string FramesWrittenPhrase(int frames) {
    return "the " + std::to_string(frames) + (frames == 1 ? " frame written" : " frames written");
}

std::string UntouchedNote(const std::string& output) {
    std::error_code ec;
    return Quoted(output) +
           (std::filesystem::exists(output, ec) ? " was left as it was" : " was not written");
}

std::string PlainMessage(const std::exception_ptr& failure, const RenderOptions& options) {
    try {
        std::rethrow_exception(failure);
    } catch (const AviError& e) {
        return e.Reason();
    } catch (const GeometryError& e) {
        return GeometryProblem(e, options);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown failure";
    }
}

MovieOutput::MovieOutput(const RenderOptions& o, int frameTime, int framesAsked,
                         std::optional<ExactFrameRate> rate)
    : output_(o.output), options_(o), framesAsked_(framesAsked) {
    if (!o.audio.empty()) {
        // Opened and checked here, before any frame; the writer reads it again.
        try {
            const WavFile sound(o.audio);
        } catch (const AviError& e) {
            throw Error("--audio " + Quoted(o.audio) + ": " + e.Reason());
        }
    }
    if (const auto codec = CompressedCodecFor(MovieFileFormatFor(o.output))) {
        compressed_ = std::make_unique<CompressedMovie>(
            o.output,
            CompressedMovieSettings{o.width, o.height, frameTime, *codec, o.crf, o.preset, o.audio, rate});
        return;
    }
    AviWriter& writer = MakeWriter(avi_, o);
    writer.SetWidth(o.width);
    writer.SetHeight(o.height);
    writer.SetFrameTime(frameTime);
    if (rate) {
        writer.SetFrameRate(rate->frames, rate->seconds);
    }
    writer.SetStretch(true);
    writer.SetFileName(o.output);
    try {
        if (!o.audio.empty()) {
            writer.SetWavFileName(o.audio);  // a .wav name, as the options require
        }
        writer.Reset();
        writer.OpenWorkFile();
    } catch (const AviError& e) {
        throw Error(e.Reason());
    }
}

void MovieOutput::Add(const PixelBuffer& frame) {
    if (compressed_) {
        compressed_->AddFrame(frame);
    } else {
        try {
            avi_->AddFrame(frame);
        } catch (const AviError& e) {
            throw Error(e.Reason());
        }
    }
    ++written_;
}

int MovieOutput::Finish(std::exception_ptr failure, bool stopped) {
    if (written_ == 0 && (framesAsked_ != 0 || failure || stopped)) {
        // The work file goes with the writer.
        if (failure) {
            throw Error(PlainMessage(failure, options_) + "; " + UntouchedNote(output_));
        }
        return 0;
    }
    return Save(failure);
}

// Completes and saves the movie; returns the frames it holds.
int MovieOutput::Complete() {
    if (compressed_) {
        return compressed_->Finish();
    }
    avi_->CloseVideo();
    avi_->SaveMovie();
    return avi_->MovieFrames();
}

int MovieOutput::Save(const std::exception_ptr& failure) {
    std::exception_ptr saveFailure;
    int frames = 0;
    try {
        frames = Complete();
    } catch (...) {
        saveFailure = std::current_exception();
    }
    if (!saveFailure) {
        if (failure) {
            throw Error(PlainMessage(failure, options_) + "; " + Quoted(output_) + " holds " +
                        FramesWrittenPhrase(frames));
        }
        return frames;
    }
    // The save's own message names OUT already.
    if (!failure) {
        std::error_code ec;
        throw Error(PlainMessage(saveFailure, options_) +
                    (std::filesystem::exists(output_, ec) ? "; it was left as it was" : ""));
    }
    throw Error(PlainMessage(failure, options_) + "; " + FramesWrittenPhrase(written_) +
                " could not be saved either (" + PlainMessage(saveFailure, options_) + "); " +
                UntouchedNote(output_));
}

}  // namespace vistamaze::cli
