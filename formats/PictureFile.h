#pragma once

#include "engine/Picture.h"
#include "engine/PixelBuffer.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vistamaze {

// A picture format that files can be read in, as the picture dialogs list it.
struct PictureFormat {
    std::string description;
    std::vector<std::string> extensions;  // lower case, without the dot
};

// The readable picture formats in the order the picture dialogs offer them.
const std::vector<PictureFormat>& ReadablePictureFormats();

// Decodes a picture held in memory with the reader registered for the extension (lower case,
// no dot). Returns a 24-bit buffer of the picture's own size that looks the same, rows
// bottom-up; transparent parts are drawn over black.
// Throws InvalidPictureError for an extension no reader is registered for and for bytes the
// reader rejects (including pictures beyond CheckPictureSize and files too short for the size
// they claim), PictureMemoryError when memory for the picture cannot be had.
PixelBuffer DecodePicture(std::string_view lowerExtensionWithoutDot, std::span<const std::uint8_t> bytes);

// Reads a picture file, choosing the reader by the file name's extension (ASCII letters
// compared without case), into a picture holding a 24-bit bitmap.
// Throws InvalidPictureError for an unregistered extension (before the file is opened), for a
// file above 1 GiB and for contents the reader rejects; throws FileAccessError, naming the file
// and the system's reason, when the file cannot be opened or read, and naming the file and what
// it is for a FIFO, socket or device ('Cannot read file "<file>": it is not a regular file (a
// FIFO)') or a directory ('Cannot read file "<file>": Is a directory'); these are refused before
// anything is read from them. A reader's InvalidPictureError comes with the file name appended
// in parentheses. When memory runs out, throws Error "Not enough memory to read "<file>": the
// picture is <width> x <height> pixels" (or, where the size is not known yet, "... (a file of
// <n> bytes)"), never std::bad_alloc.
Picture ReadPictureFile(const std::filesystem::path& file);

}  // namespace vistamaze
