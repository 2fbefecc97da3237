#pragma once

// The renderer started as a process of its own, for tests that signal it while it works.
#include "tests/support/TestSupport.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace vistamaze::test {

// Runs `VM_RENDERER_PATH args` through /bin/sh without a display, with `tmp` as its temporary
// folder, a runtime folder of its own under `run` (else Qt makes one in the temporary folder),
// and stderr to `log`. Killed and reaped when it goes, should a test fail before it ends.
class RendererChild {
public:
    RendererChild(const std::string& args, const std::filesystem::path& tmp, const std::filesystem::path& run,
                  const std::filesystem::path& log) {
        std::filesystem::create_directories(tmp);
        std::filesystem::create_directories(run);
        ::chmod(run.c_str(), 0700);
        command_ = "TMPDIR='" + tmp.string() + "' XDG_RUNTIME_DIR='" + run.string() +
                   "' exec env -u DISPLAY " VM_GL_CHILD_ENV " " VM_RENDERER_PATH " " + args + " 2>'" +
                   log.string() + "'";
        const char* argv[] = {"/bin/sh", "-c", command_.c_str(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            pid_ = -1;
        }
    }
    ~RendererChild() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    RendererChild(const RendererChild&) = delete;
    RendererChild& operator=(const RendererChild&) = delete;

    [[nodiscard]] bool Started() const noexcept { return pid_ > 0; }
    void Signal(int signal) const { ::kill(pid_, signal); }

    // Polls `ready` until it holds, for at most a minute; false when the child ended first or it
    // never held.
    bool WaitUntil(const std::function<bool()>& ready) const {
        for (int i = 0; i < 6000; ++i) {
            if (ready()) {
                return true;
            }
            if (Ended()) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The exit status once the child ends (within two minutes, else it is killed and the test
    // fails): -1 when a signal ended it.
    int Wait() {
        for (int i = 0; i < 12000 && !Ended(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!Ended()) {
            ADD_FAILURE() << "the renderer did not end: " << command_;
            ::kill(pid_, SIGKILL);
        }
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    // True once the child has ended; it stays unreaped.
    [[nodiscard]] bool Ended() const {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
               info.si_pid != 0;
    }

    std::string command_;
    pid_t pid_ = -1;
};

// Names of the entries of `folder`, also hidden ones, in no order.
inline std::vector<std::string> EntriesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

}  // namespace vistamaze::test
