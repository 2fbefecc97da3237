#pragma once

namespace vistamaze {

// Registers the program's compiled-in Qt resources (the tool-button icons, the help pages and
// their pictures). Safe to call more than once; the main window calls it before loading its form.
void InitGuiResources();

}  // namespace vistamaze
