#pragma once

#include "cli/RenderOptions.h"
#include "engine/Errors.h"

#include <exception>
#include <string>
#include <string_view>

namespace vistamaze::cli {

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
