#pragma once

#include "engine/Picture.h"
#include "output/BmpWriter.h"
#include "output/JpegWriter.h"
#include "output/PictureResolution.h"
#include "output/PngWriter.h"
#include "output/TgaWriter.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace vistamaze {

// The picture format a file name selects.
enum class PictureFileFormat { None, Bmp, Jpeg, Png, Tga };

// The extension of the file name's last component, lower-cased (ASCII letters only, which is
// all the table below can match): from the last "." to the end, the dot included; empty when
// the last component has no ".". "x/.png" gives ".png"; "x.d/stereo" gives "".
[[nodiscard]] std::string LowerCaseExtension(const std::filesystem::path& file);

// ".bmp" -> Bmp, ".jpg" and ".jpeg" -> Jpeg, ".png" -> Png, ".tga" -> Tga, anything else
// (".jpe", ".tif", ".gif", no extension) -> None.
[[nodiscard]] PictureFileFormat PictureFileFormatFor(const std::filesystem::path& file);

// Writes the picture in the format the file name's extension selects, with the DPI text as its
// resolution (JPEG and PNG only) and the given JPEG quality (1..100). Returns false, writing
// nothing and reporting nothing, when the extension selects no format. Errors of the writer
// propagate (see SaveAsBmp, SaveAsJpeg, SaveAsPng, SaveAsTga); a failed save never damages a
// file already there. `pngOptions` lets the command-line renderer choose faster PNG encoding;
// the program's own saves keep the defaults.
bool SavePictureByExtension(const Picture& picture, const std::filesystem::path& file, int jpegQuality,
                            std::string_view dpiText, const PngOptions& pngOptions = {});

}  // namespace vistamaze
