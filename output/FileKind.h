#pragma once

#include <string>

#include <sys/stat.h>

namespace vistamaze {

// What a file that is not a regular file is, for messages: " (a FIFO)", " (a socket)",
// " (a character device)", " (a block device)"; empty when no name fits.
inline std::string KindOfSpecialFile(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return " (a FIFO)";
    }
    if (S_ISSOCK(mode)) {
        return " (a socket)";
    }
    if (S_ISCHR(mode)) {
        return " (a character device)";
    }
    if (S_ISBLK(mode)) {
        return " (a block device)";
    }
    return {};
}

}  // namespace vistamaze
