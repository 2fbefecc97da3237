#pragma once

#include "cli/RenderOptions.h"
#include "engine/Stereogram.h"

#include <string>

namespace vistamaze::cli {

// The texture `options` name, or the built-in one when they name none. Throws what reading it
// throws.
Picture ReadTexture(const RenderOptions& options);

// Gives the engine every setting of `options` and `texture`.
void ConfigureEngine(Stereogram& engine, const RenderOptions& options, Picture texture);

// The same with ReadTexture(options).
void ConfigureEngine(Stereogram& engine, const RenderOptions& options);

// What `error` means for the command line's settings, in one line naming the options to change
// (the engine's own message speaks of the program's fields).
[[nodiscard]] std::string GeometryProblem(const GeometryError& error, const RenderOptions& options);

}  // namespace vistamaze::cli
