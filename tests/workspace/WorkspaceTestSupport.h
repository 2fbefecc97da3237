#pragma once

#include "tests/workspace/ScriptedDialogs.h"

namespace vistamaze::test {

// Whether the test application runs on an X display (the test main picks xcb only then).
[[nodiscard]] bool DisplayAvailable();

// Installs fresh scripted dialogs in the running VistamazeApplication and returns them; they stay
// owned by the application and valid until the next call.
ScriptedDialogs& InstallScriptedDialogs();

// Skips the current test with a message when there is no display.
#define VM_REQUIRE_DISPLAY()                                                                  \
    do {                                                                                      \
        if (!::vistamaze::test::DisplayAvailable()) {                                         \
            GTEST_SKIP() << "no X display: window tests need Xvfb (DISPLAY=:N, see test.sh)"; \
        }                                                                                     \
    } while (false)

}  // namespace vistamaze::test
