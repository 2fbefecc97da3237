#include "output/ScratchFiles.h"

#include <array>
#include <atomic>
#include <cstring>

#include <unistd.h>

namespace vistamaze {

namespace {

// A process writes one picture or one movie at a time: a temporary file, or a work file in its work
// folder and, while the movie is saved, the movie's temporary file. The rest is room to spare.
constexpr int kSlots = 8;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int {
    kFree = 0,
    kFilling = 1,  // the owner is copying the path in; the file is not made yet
    kListed = 2,
    kTaken = 3,  // the signal handler is removing it; never freed again
};

struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<bool> folder{false};
    std::array<char, kPathBytes> path{};
};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "a signal handler may use only lock-free atomics");

// Global, as ScratchFileEntry explains; constant-initialised, so ready before any code runs.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
constinit std::array<Slot, kSlots> slots{};

// Files go first, so that the folders holding them are empty by the time they are removed.
void RemoveListed(bool folders) noexcept {
    for (Slot& slot : slots) {
        int listed = kListed;
        if (slot.folder.load() != folders || !slot.state.compare_exchange_strong(listed, kTaken)) {
            continue;
        }
        // Taken, the slot no longer changes: its kind is read again in case it was reused meanwhile.
        if (slot.folder.load()) {
            ::rmdir(slot.path.data());
        } else {
            ::unlink(slot.path.data());
        }
    }
}

}  // namespace

ScratchFileEntry::ScratchFileEntry(const std::filesystem::path& path, Kind kind) noexcept : slot_(-1) {
    const std::string& name = path.native();
    if (name.empty() || name.size() >= kPathBytes) {
        return;
    }
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = slots[static_cast<std::size_t>(i)];
        int expected = kFree;
        if (slot.state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(slot.path.data(), name.c_str(), name.size() + 1);
            slot.folder.store(kind == Kind::Folder);
            slot.state.store(kListed, std::memory_order_release);
            slot_ = i;
            return;
        }
    }
}

ScratchFileEntry::~ScratchFileEntry() {
    if (slot_ < 0) {
        return;
    }
    // When the handler has taken it, the process is ending: the slot stays as it is.
    int listed = kListed;
    slots[static_cast<std::size_t>(slot_)].state.compare_exchange_strong(listed, kFree);
}

void RemoveScratchFiles() noexcept {
    RemoveListed(false);
    RemoveListed(true);
}

}  // namespace vistamaze
