#pragma once

#include <QString>

namespace vistamaze {

// The folders the program works with. Folder names are absolute (or relative to the current
// folder where stated) and carry no trailing separator unless stated.
struct ProgramFolders {
    QString program;          // the executable's folder; becomes the working directory at start-up
    QString helpFile;         // program + "/stereo.chm" (the help pages themselves are compiled in)
    QString textures;         // "Textures"
    QString depthMaps;        // "DepthMaps"
    QString models;           // "Models"
    QString textureFileName;  // textures + "/TREEPT85.BMP": not read at start-up
};

// Where each sample folder is looked for, first match wins: next to the executable, then
// <executable>/../share/vistamaze (an installed tree), then `sourceTree` (a build tree run in
// place; may be empty). A folder found nowhere is named next to the executable anyway: a missing
// folder is not an error, the dialogs then open wherever the system puts them.
[[nodiscard]] ProgramFolders FindProgramFolders(const QString& executableFolder, const QString& sourceTree);

// The user data folder: `documentsFolder` + "/Vistamaze/", or "Vistamaze/" (relative to the
// current folder) when `documentsFolder` is empty. Ends with a separator.
[[nodiscard]] QString UserDataFolderName(const QString& documentsFolder);

// Creates `folder` with any missing parents. Whether that worked is not checked: the preview's
// save dialog just starts elsewhere.
void CreateUserDataFolder(const QString& folder);

}  // namespace vistamaze
