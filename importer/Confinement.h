#pragma once

#include <filesystem>
#include <vector>

namespace vistamaze {

// What ConfineToReading could put in place on this kernel.
struct Confinement {
    int landlockAbi = 0;   // the kernel's Landlock version, 0 without Landlock
    bool seccomp = false;  // the system-call filter is installed
};

// Confines this process for good, as far as the kernel allows: it may read files and list folders
// beneath `readable` and nothing else, write or create no file anywhere, bind or connect no TCP
// port, reach no abstract socket and signal no process outside itself (Landlock, by the version the
// kernel offers), create no socket and start no program (a seccomp filter). Descriptors open
// before the call keep working. On a kernel without Landlock or seccomp the other limits of the
// process remain and this returns what it did apply. Throws vistamaze::Error when the kernel offers
// a mechanism that then refuses to apply.
Confinement ConfineToReading(const std::vector<std::filesystem::path>& readable);

}  // namespace vistamaze
