#pragma once

#include <filesystem>

namespace vistamaze {

// The files and folders a writer makes for the time of one write and removes when it ends (a
// picture's hidden temporary file, a movie's work file and work folder), listed for a process that
// is ended by a signal before the writer can clean up: RemoveScratchFiles() removes whatever is
// listed at that moment.
//
// The list is the one state of this process that a signal handler may reach, so it is global by
// necessity; it lives in fixed storage and is kept with atomic operations only.
class ScratchFileEntry {
public:
    enum class Kind { File, Folder };

    // Lists `path`. Call it just before making the file or folder, under a name that is this
    // writer's own (random, or in a folder of its own), so that a signal in between cannot miss it;
    // take it off the list at once when it cannot be made. Never throws: a path longer than the
    // list's storage, or a full list, goes unlisted (the writer still removes it when it ends
    // normally).
    ScratchFileEntry(const std::filesystem::path& path, Kind kind) noexcept;
    // Takes the path off the list. Remove the file or folder before: a signal in between then finds
    // nothing to remove.
    ~ScratchFileEntry();
    ScratchFileEntry(const ScratchFileEntry&) = delete;
    ScratchFileEntry& operator=(const ScratchFileEntry&) = delete;

private:
    int slot_;  // -1: not listed
};

// Removes every listed file, then every listed folder (empty by then, or left). For a signal
// handler that ends the process: only atomic operations, unlink() and rmdir(), all
// async-signal-safe. Entries it has taken stay taken, so a writer still running on another thread
// cannot reuse their storage meanwhile.
void RemoveScratchFiles() noexcept;

}  // namespace vistamaze
