#include "tests/support/TestSupport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace vistamaze::test {

std::filesystem::path DataFile(const std::string& relative) {
    return std::filesystem::path(VM_TEST_DATA_DIR) / relative;
}

std::filesystem::path SharedFile(const std::string& relative) {
    return std::filesystem::path(VM_SHARED_TESTDATA_DIR) / relative;
}

bool SharedDataAvailable() {
    return std::filesystem::is_directory(VM_SHARED_TESTDATA_DIR);
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + file.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vistamaze-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* raw = popen(command.c_str(), "r");
    if (raw == nullptr) {
        return -1;
    }
    std::string text;
    std::array<char, 4096> chunk{};
    std::size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), raw)) > 0) {
        text.append(chunk.data(), n);
    }
    const int status = pclose(raw);
    if (output != nullptr) {
        *output = std::move(text);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ToolAvailable(const std::string& tool) {
    return RunCommand("command -v " + tool + " >/dev/null 2>&1") == 0;
}

bool LocalDisplayReachable() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] != ':') {
        return false;
    }
    std::string number(display + 1);
    number = number.substr(0, number.find('.'));
    return !number.empty() && std::filesystem::exists("/tmp/.X11-unix/X" + number);
}

}  // namespace vistamaze::test
