// What a confined process may still do: read beneath its folder, and nothing else that matters.
#include "importer/Confinement.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <fstream>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze {
namespace {

// Runs `attempt` in a child confined to `folder`; its errno (0 when it worked), or -1 when the
// confinement itself failed.
template <typename Attempt>
int ErrnoOfConfined(const std::filesystem::path& folder, Attempt attempt) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            ConfineToReading({folder});
        } catch (...) {
            _exit(255);
        }
        errno = 0;
        _exit(attempt() ? 0 : errno);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

bool Opens(const std::filesystem::path& file, int flags) {
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

TEST(ConfinementTest, OnlyTheModelsFolderCanBeReadAndNothingWrittenOrConnected) {
    test::TempDir inside;
    test::TempDir outside;
    std::ofstream(inside / "model.obj") << "v 0 0 0\n";
    std::ofstream(outside / "secret.txt") << "secret\n";

    EXPECT_EQ(ErrnoOfConfined(inside.Path(), [&] { return Opens(inside / "model.obj", O_RDONLY); }), 0);
    EXPECT_EQ(ErrnoOfConfined(inside.Path(), [] { return ::socket(AF_INET, SOCK_STREAM, 0) >= 0; }), EACCES);
    EXPECT_EQ(ErrnoOfConfined(inside.Path(), [] { return ::socket(AF_UNIX, SOCK_DGRAM, 0) >= 0; }), EACCES);
    EXPECT_EQ(ErrnoOfConfined(inside.Path(),
                              [] {
                                  char* const argv[] = {nullptr};
                                  return ::execv("/bin/true", argv) == 0;
                              }),
              EACCES);

    // landlock_create_ruleset asked for the kernel's version: 444 on every architecture.
    if (::syscall(444, nullptr, 0, 1U) <= 0) {
        GTEST_SKIP() << "this kernel has no Landlock: the folder rules cannot be checked";
    }
    const struct {
        std::filesystem::path file;
        int flags;
    } denied[] = {
        {outside / "secret.txt", O_RDONLY},
        {inside / "model.obj", O_WRONLY},
        {inside / "new.obj", O_WRONLY | O_CREAT},
        {"/etc/passwd", O_RDONLY},
    };
    for (const auto& d : denied) {
        EXPECT_EQ(ErrnoOfConfined(inside.Path(), [&d] { return Opens(d.file, d.flags); }), EACCES) << d.file;
    }
}

}  // namespace
}  // namespace vistamaze
