#pragma once

#include "engine/Errors.h"

#include <cstdint>
#include <string>
#include <utility>

namespace vistamaze {

// Failure codes of the movie writer and the WAV reader, in the numbering of the AVIFile
// interface so that a code the program shows ("Err=8004406E") means what it meant there.
enum class AviCode : std::uint32_t {
    kClassNotRegistered = 0x80040154U,
    kUnsupported = 0x80044065U,
    kBadFormat = 0x80044066U,
    kMemory = 0x80044067U,
    kBadParam = 0x8004406AU,
    kBadSize = 0x8004406BU,
    kBadHandle = 0x8004406CU,
    kFileRead = 0x8004406DU,
    kFileWrite = 0x8004406EU,
    kFileOpen = 0x8004406FU,
    kNoData = 0x80044073U,
};

// An error of the movie writer or the WAV reader: the message the program shows (a fixed text,
// perhaps with a failure code, and its details), the failure code and, for file operations, the
// errno value (0 when none applies). Reason() says what failed in plain words, without codes,
// for the command line, which puts its own words around it; it is the message itself when none
// was given.
class AviError : public Error {
public:
    AviError(AviCode code, const std::string& message, int sysError = 0, std::string reason = {})
        : Error(message), code_(code), sysError_(sysError), reason_(std::move(reason)) {}
    [[nodiscard]] AviCode Code() const noexcept { return code_; }
    [[nodiscard]] int SysError() const noexcept { return sysError_; }
    [[nodiscard]] std::string Reason() const { return reason_.empty() ? std::string(what()) : reason_; }

private:
    AviCode code_;
    int sysError_;
    std::string reason_;
};

}  // namespace vistamaze
