#pragma once

#include <stdexcept>
#include <string>

namespace vistamaze {

// Every failure the program reports carries a fixed, user-facing English message.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A picture file that no reader is registered for, or that its reader rejects as not a valid
// picture. Callers that load depth maps and textures ignore this kind silently.
class InvalidPictureError : public Error {
public:
    using Error::Error;
};

// A file that cannot be opened, read or written; the message names the file and the reason
// the system gave.
class FileAccessError : public Error {
public:
    using Error::Error;
};

// Settings that leave the engine no usable geometry. what() is the program's message; the cause
// and the values it was found with let a caller word it for its own settings.
class GeometryError : public Error {
public:
    enum class Cause {
        NoNearDepth,       // viewing distance and minimum depth both 0
        PatternTooNarrow,  // the maximum depth gives a pattern less than 1 pixel wide
        PatternNegative,   // the depth range gives a negative pattern width
        PatternTooWide,    // the pattern is wider than the stereogram
    };
    struct Values {
        int dpi = 0;           // as the engine uses it, after limiting it to the picture's size
        int width = 0;         // of the stereogram, in pixels
        int patternWidth = 0;  // in pixels
        double distance = 0;   // viewing distance, minimum and maximum depth, in inches
        double minDepth = 0;
        double maxDepth = 0;
    };
    GeometryError(Cause cause, const Values& values, const std::string& message)
        : Error(message), cause_(cause), values_(values) {}
    [[nodiscard]] Cause GetCause() const noexcept { return cause_; }
    [[nodiscard]] const Values& GetValues() const noexcept { return values_; }

private:
    Cause cause_;
    Values values_;
};

}  // namespace vistamaze
