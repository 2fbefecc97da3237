#pragma once

#include "cli/RenderOptions.h"
#include "engine/Errors.h"
#include "engine/QuotedName.h"

#include <exception>
#include <string>
#include <string_view>

namespace vistamaze::cli {

// A file name (or another value) in a one-line message: in double quotes, control characters
// escaped (see QuotedName).
inline std::string Quoted(const std::string& text) {
    return QuotedName(std::string_view(text));
}

// Runs `work`; an error it throws comes back with `role` in front ("depth map: Invalid PNG
// file: ..."), so that a run with several files says which one failed and what it was for. The
// message itself names the file. Usage errors pass unchanged.
template <typename Work>
decltype(auto) InRole(std::string_view role, Work&& work) {
    try {
        return work();
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        throw Error(std::string(role) + ": " + e.what());
    }
}

}  // namespace vistamaze::cli
