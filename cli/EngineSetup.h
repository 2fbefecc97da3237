#pragma once

#include "cli/RenderOptions.h"
#include "engine/Stereogram.h"
#include "output/AviWriter.h"

namespace vistamaze::cli {

// The texture `options` name, or the built-in one when they name none. Throws what reading it
// throws.
Picture ReadTexture(const RenderOptions& options);

// Gives the engine every setting of `options` and `texture`.
void ConfigureEngine(TStereogram& engine, const RenderOptions& options, Picture texture);

// The same with ReadTexture(options).
void ConfigureEngine(TStereogram& engine, const RenderOptions& options);

// Sets up `writer` for the movie of `options`: frame size, `frameTime` milliseconds per frame,
// stretched frames, the output name and the sound track (checked here, so a bad WAV file fails
// before any frame is rendered). Then Reset and OpenWorkFile. Throws what the writer throws.
void OpenMovie(TAviWriter& writer, const RenderOptions& options, int frameTime);

}  // namespace vistamaze::cli
