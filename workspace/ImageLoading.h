#pragma once

#include "engine/Picture.h"

#include <QString>

namespace vistamaze {

// The picture dialogs' filter in "description|patterns|..." form: first "All (<every pattern>)"
// with every readable extension, then one entry per readable format, e.g.
// "All (*.png;*.jpeg;...)|*.png;*.jpeg;...|PNG (*.png)|*.png|...".
[[nodiscard]] QString PictureDialogFilter();

// Reads the picture file `fileName` into `target` as a 24-bit bitmap of the file's own size and
// returns an empty string. A file that is not a readable picture (an extension no reader knows,
// or contents the reader rejects) leaves `target` unchanged and is not an error: the result then
// says why, in the reader's words ("Unsupported picture file type \".txt\""), for the caller to
// tell the user. Throws FileAccessError when the file cannot be opened or read; `target` is then
// unchanged too.
[[nodiscard]] QString LoadImage(Picture& target, const QString& fileName);

}  // namespace vistamaze
