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
AviWriter MakeWriter(const RenderOptions& o) {
    try {
        return AviWriter(ScreenSize{o.width * 10, o.height * 10}, AviWriter::PrivateWorkFolder{});
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

MovieOutput::MovieOutput(const RenderOptions& o, int frameTime, int framesAsked)
    : output_(o.output), options_(o), framesAsked_(framesAsked), writer_(MakeWriter(o)) {
    writer_.SetWidth(o.width);
    writer_.SetHeight(o.height);
    writer_.SetFrameTime(frameTime);
    writer_.SetStretch(true);
    writer_.SetFileName(o.output);
    if (!o.audio.empty()) {
        // Opened and checked here, before any frame; the writer reads it again when it saves.
        try {
            writer_.SetWavFileName(o.audio);
            const WavFile sound(o.audio);
        } catch (const AviError& e) {
            throw Error("--audio " + Quoted(o.audio) + ": " + e.Reason());
        }
    }
    try {
        writer_.Reset();
        writer_.OpenWorkFile();
    } catch (const AviError& e) {
        throw Error(e.Reason());
    }
}

void MovieOutput::Add(const PixelBuffer& frame) {
    try {
        writer_.AddFrame(frame);
    } catch (const AviError& e) {
        throw Error(e.Reason());
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

int MovieOutput::Save(const std::exception_ptr& failure) {
    std::exception_ptr saveFailure;
    try {
        writer_.CloseVideo();
        writer_.SaveMovie();
    } catch (...) {
        saveFailure = std::current_exception();
    }
    if (!saveFailure) {
        if (failure) {
            throw Error(PlainMessage(failure, options_) + "; " + Quoted(output_) + " holds " +
                        FramesWrittenPhrase(writer_.MovieFrames()));
        }
        return writer_.MovieFrames();
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
