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

}  // namespace vistamaze
