#pragma once

#include <filesystem>

namespace vistamaze {

// A file of ours that a program loads or starts: $`variable` when set, else `name` beside the
// running program or in its ../libexec/vistamaze (an installed tree, or a build tree, which
// mirrors it), the first that access(2) allows for `accessMode` (X_OK for a program, R_OK for a
// module). Empty when there is none.
[[nodiscard]] std::filesystem::path FindProgramFile(const char* name, const char* variable, int accessMode);

}  // namespace vistamaze
