#pragma once

#include "workspace/Test1.h"

#include <QCoreApplication>
#include <QDir>

namespace vistamaze::bench {

// The program's folders for a benchmark: the samples as the build tree holds them (next to the
// executables' folders, in share/vistamaze) and a scratch documents folder.
inline MainWindowSetup BenchProgramSetup() {
    MainWindowSetup setup;
    setup.documentsFolder = QDir::tempPath() + QStringLiteral("/vistamaze-bench");
    setup.folders = FindProgramFolders(QCoreApplication::applicationDirPath(), QString());
    return setup;
}

}  // namespace vistamaze::bench
