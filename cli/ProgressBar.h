#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace vistamaze::cli {

// A bar that redraws itself on one terminal line: "index/count [####......] percent%" (without
// "/count" when the count is 0, unknown). Writes nothing when `out` is null; ends its line when
// destroyed.
class ProgressBar {
public:
    ProgressBar(std::ostream* out, std::size_t count) : out_(out), count_(count) {}
    // Shows picture `index` (0-based) at `percent`; a percent already shown is not drawn again.
    void Show(std::size_t index, int percent) {
        if (out_ == nullptr || percent == last_) {
            return;
        }
        last_ = percent;
        constexpr int kCells = 30;
        const int filled = percent * kCells / 100;
        *out_ << "\r" << (index + 1);
        if (count_ > 0) {
            *out_ << "/" << count_;
        }
        *out_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kCells - filled), '.') << "] " << percent << "%"
              << std::flush;
    }
    void NextPicture() { last_ = -1; }
    ~ProgressBar() {
        if (out_ != nullptr) {
            *out_ << "\n" << std::flush;
        }
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    std::ostream* out_;
    std::size_t count_;
    int last_ = -1;
};

}  // namespace vistamaze::cli
