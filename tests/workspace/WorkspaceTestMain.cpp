// Test main for the windows: a VistamazeApplication on the xcb platform when an X display is
// reachable, otherwise on the off-screen platform with every window test skipped.
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/VistamazeApplication.h"

#include <QGuiApplication>
#include <QSettings>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace vistamaze::test {

bool DisplayAvailable() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

ScriptedDialogs& InstallScriptedDialogs() {
    auto dialogs = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& result = *dialogs;
    VistamazeApplication::Instance()->SetDialogs(std::move(dialogs));
    return result;
}

}  // namespace vistamaze::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The choices the program remembers go to a folder of the run's own, never the user's.
    const vistamaze::test::TempDir settingsFolder;
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope,
                           QString::fromStdString(settingsFolder.Path().string()));
    }
    qputenv("QT_QPA_PLATFORM", vistamaze::test::LocalDisplayReachable() ? "xcb" : "offscreen");
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    vistamaze::VistamazeApplication app(argc, argv);
    // Closing a test's main window must not end anything.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    vistamaze::test::InstallScriptedDialogs();
    return RUN_ALL_TESTS();
}
