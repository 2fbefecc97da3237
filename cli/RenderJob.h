#pragma once

#include "cli/RenderOptions.h"

#include <iosfwd>

namespace vistamaze::cli {

// Renders every depth map of `options` and writes the pictures or the movie. Progress goes to
// `progress` when it is not null. Throws vistamaze::Error (and UsageError for an output name
// that selects no format) on the first failure; pictures already written stay.
void RunRender(const RenderOptions& options, std::ostream* progress);

}  // namespace vistamaze::cli
