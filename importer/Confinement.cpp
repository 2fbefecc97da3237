#include "importer/Confinement.h"

#include "engine/Errors.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vistamaze {
namespace {

// Landlock's interface as of its version 7; the system's headers may predate it.
struct RulesetAttributes {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;  // version 4 on
    std::uint64_t scoped = 0;            // version 6 on
};

struct PathBeneath {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
} __attribute__((packed));

constexpr unsigned kCreateRulesetVersion = 1U << 0;
constexpr int kRulePathBeneath = 1;
constexpr std::uint64_t kReadFile = 1ULL << 2;
constexpr std::uint64_t kReadDir = 1ULL << 3;

#ifndef SYS_landlock_create_ruleset
constexpr long SYS_landlock_create_ruleset = 444;
constexpr long SYS_landlock_add_rule = 445;
constexpr long SYS_landlock_restrict_self = 446;
#endif

// Every file-system right the kernel's version knows, so that each one not granted is denied.
std::uint64_t FileSystemRights(int abi) {
    std::uint64_t rights = (1ULL << 13) - 1;  // version 1: execute .. make symlink
    if (abi >= 2) {
        rights |= 1ULL << 13;  // refer
    }
    if (abi >= 3) {
        rights |= 1ULL << 14;  // truncate
    }
    if (abi >= 5) {
        rights |= 1ULL << 15;  // ioctl on devices
    }
    return rights;
}

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int Get() const noexcept { return fd_; }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::string& what) {
    throw Error("cannot confine the importer: " + what + ": " + std::strerror(errno));
}

int ApplyLandlock(const std::vector<std::filesystem::path>& readable) {
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
    if (abi <= 0) {
        return 0;  // ENOSYS or EOPNOTSUPP: this kernel has no Landlock, or it is switched off
    }
    RulesetAttributes attributes;
    attributes.handledAccessFs = FileSystemRights(static_cast<int>(abi));
    if (abi >= 4) {
        attributes.handledAccessNet = 0x3;  // bind and connect TCP
    }
    if (abi >= 6) {
        attributes.scoped = 0x3;  // abstract UNIX sockets and signals
    }
    const Fd ruleset(
        static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0U)));
    if (ruleset.Get() < 0) {
        Fail("Landlock ruleset");
    }
    for (const std::filesystem::path& folder : readable) {
        const Fd beneath(::open(folder.c_str(), O_PATH | O_CLOEXEC | O_DIRECTORY));
        if (beneath.Get() < 0) {
            continue;  // a folder that cannot be opened grants nothing
        }
        const PathBeneath rule{kReadFile | kReadDir, beneath.Get()};
        if (syscall(SYS_landlock_add_rule, ruleset.Get(), kRulePathBeneath, &rule, 0U) != 0) {
            Fail("Landlock rule for " + folder.string());
        }
    }
    if (syscall(SYS_landlock_restrict_self, ruleset.Get(), 0U) != 0) {
        Fail("Landlock");
    }
    return static_cast<int>(abi);
}

#if defined(__x86_64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
#define VM_NO_SECCOMP_FILTER
#endif

bool ApplySeccomp() {
#ifdef VM_NO_SECCOMP_FILTER
    return false;
#else
    constexpr std::uint32_t kDeny = SECCOMP_RET_ERRNO | (EACCES & SECCOMP_RET_DATA);
    constexpr auto kArch = static_cast<std::uint32_t>(offsetof(seccomp_data, arch));
    constexpr auto kNr = static_cast<std::uint32_t>(offsetof(seccomp_data, nr));
    const auto deny = [](long call) {
        return std::array<sock_filter, 2>{
            sock_filter{BPF_JMP | BPF_JEQ | BPF_K, 0, 1, static_cast<std::uint32_t>(call)},
            sock_filter{BPF_RET | BPF_K, 0, 0, kDeny}};
    };
    std::vector<sock_filter> program = {
        // Another ABI's system-call numbers mean other calls: a process of ours never uses them.
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, kArch},
        {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, kAuditArch},
        {BPF_RET | BPF_K, 0, 0, SECCOMP_RET_KILL_PROCESS},
        {BPF_LD | BPF_W | BPF_ABS, 0, 0, kNr},
#if defined(__x86_64__)
        {BPF_JMP | BPF_JGE | BPF_K, 0, 1, 0x40000000U},  // the x32 ABI
        {BPF_RET | BPF_K, 0, 0, SECCOMP_RET_KILL_PROCESS},
#endif
    };
    for (const long call : {SYS_socket, SYS_socketpair, SYS_execve, SYS_execveat, SYS_ptrace,
                            SYS_process_vm_writev, SYS_process_vm_readv}) {
        const auto step = deny(call);
        program.insert(program.end(), step.begin(), step.end());
    }
    program.push_back({BPF_RET | BPF_K, 0, 0, SECCOMP_RET_ALLOW});
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
        if (errno == EINVAL || errno == ENOSYS) {
            return false;  // a kernel without seccomp filters
        }
        Fail("seccomp");
    }
    return true;
#endif
}

}  // namespace

Confinement ConfineToReading(const std::vector<std::filesystem::path>& readable) {
    // Both mechanisms need it, and it keeps a set-user-id program from regaining rights.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        Fail("no new privileges");
    }
    Confinement done;
    done.landlockAbi = ApplyLandlock(readable);
    done.seccomp = ApplySeccomp();
    return done;
}

}  // namespace vistamaze
