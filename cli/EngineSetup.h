#pragma once

#include "cli/RenderOptions.h"
#include "engine/Stereogram.h"
#include "output/AviWriter.h"

namespace vistamaze::cli {

// Gives the engine every setting of `options` and its texture (the built-in one when none is
// named). Throws what reading the texture throws.
void ConfigureEngine(TStereogram& engine, const RenderOptions& options);

// Sets up `writer` for the movie of `options`: frame size, `frameTime` milliseconds per frame,
// stretched frames, the output name and the sound track (checked here, so a bad WAV file fails
// before any frame is rendered). Then Reset and OpenWorkFile. Throws what the writer throws.
void OpenMovie(TAviWriter& writer, const RenderOptions& options, int frameTime);

}  // namespace vistamaze::cli
