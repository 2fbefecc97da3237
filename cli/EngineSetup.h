#pragma once

#include "cli/RenderOptions.h"
#include "engine/Stereogram.h"

namespace vistamaze::cli {

// The texture `options` name, or the built-in one when they name none. Throws what reading it
// throws.
Picture ReadTexture(const RenderOptions& options);

// Gives the engine every setting of `options` and `texture`.
void ConfigureEngine(TStereogram& engine, const RenderOptions& options, Picture texture);

// The same with ReadTexture(options).
void ConfigureEngine(TStereogram& engine, const RenderOptions& options);

}  // namespace vistamaze::cli
