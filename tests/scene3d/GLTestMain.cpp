// Test main for the OpenGL views: a QApplication on the xcb platform when an X display is reachable,
// otherwise on the off-screen platform with every OpenGL test skipped (see GLTestSupport.h).
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool display = vistamaze::test::LocalDisplayReachable();
    qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
