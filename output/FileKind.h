#pragma once

#include "formats/RegularFile.h"

#include <string>

#include <sys/stat.h>

namespace vistamaze {

// What a file that is not a regular file is, for messages: " (a FIFO)", " (a socket)",
// " (a character device)", " (a block device)"; empty for a folder or a kind without a name.
inline std::string KindOfSpecialFile(mode_t mode) {
    if (S_ISDIR(mode) || !(S_ISFIFO(mode) || S_ISSOCK(mode) || S_ISCHR(mode) || S_ISBLK(mode))) {
        return {};
    }
    return std::string(" (") + FileKindName(mode) + ")";
}

}  // namespace vistamaze
