#include "workspace/ProgramFolders.h"

#include <QDir>
#include <QFileInfo>

namespace vistamaze {

namespace {

QString FindFolder(const QString& executableFolder, const QString& sourceTree, const QString& name) {
    const QDir executable(executableFolder);
    QStringList candidates{executable.filePath(name),
                           executable.filePath(QStringLiteral("../share/vistamaze/") + name)};
    if (!sourceTree.isEmpty()) {
        candidates << QDir(sourceTree).filePath(name);
    }
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isDir()) {
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
        }
    }
    return QDir::cleanPath(candidates.constFirst());
}

}  // namespace

ProgramFolders FindProgramFolders(const QString& executableFolder, const QString& sourceTree) {
    ProgramFolders folders;
    folders.program = QDir::cleanPath(QFileInfo(executableFolder).absoluteFilePath());
    folders.helpFile = QDir(folders.program).filePath(QStringLiteral("stereo.chm"));
    folders.textures = FindFolder(folders.program, sourceTree, QStringLiteral("Textures"));
    folders.depthMaps = FindFolder(folders.program, sourceTree, QStringLiteral("DepthMaps"));
    folders.models = FindFolder(folders.program, sourceTree, QStringLiteral("Models"));
    folders.textureFileName = folders.textures + QStringLiteral("/TREEPT85.BMP");
    return folders;
}

QString UserDataFolderName(const QString& documentsFolder) {
    QString name = documentsFolder;
    if (!name.isEmpty() && !name.endsWith(QLatin1Char('/')) && !name.endsWith(QDir::separator())) {
        name += QLatin1Char('/');
    }
    return name + QStringLiteral("Vistamaze/");
}

void CreateUserDataFolder(const QString& folder) {
    QDir().mkpath(folder);
}

}  // namespace vistamaze
