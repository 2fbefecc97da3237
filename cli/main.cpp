// vistamaze-render: single-image stereograms from depth maps, without a window.
#include "cli/RenderJob.h"
#include "cli/RenderOptions.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>

#include <unistd.h>

int main(int argc, char** argv) {
    // Past a file size limit a write must fail with EFBIG, so the error is reported and the
    // temporary files are removed, rather than the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    using namespace vistamaze::cli;
    RenderOptions options;
    try {
        options = ParseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.version) {
        std::cout << "vistamaze-render " << VM_VERSION << "\n";
        return 0;
    }
    try {
        RunRender(options, isatty(STDERR_FILENO) ? &std::cerr : nullptr);
    } catch (const UsageError& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "vistamaze-render: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
