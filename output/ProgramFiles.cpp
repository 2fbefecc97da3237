#include "output/ProgramFiles.h"

#include <cstdlib>
#include <system_error>

#include <unistd.h>

namespace vistamaze {

std::filesystem::path FindProgramFile(const char* name, const char* variable, int accessMode) {
    if (const char* chosen = std::getenv(variable); chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) {
        return {};
    }
    for (const std::filesystem::path& candidate :
         {folder / name, folder / ".." / "libexec" / "vistamaze" / name}) {
        if (::access(candidate.c_str(), accessMode) == 0) {
            return candidate.lexically_normal();
        }
    }
    return {};
}

}  // namespace vistamaze
