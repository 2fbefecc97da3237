// Test main for the OpenGL views: a QApplication on the xcb platform when an X display is reachable,
// otherwise on the off-screen platform with every OpenGL test skipped (see GLTestSupport.h).
#include <QApplication>
#include <QSurfaceFormat>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

// A local display ":N" or ":N.S" whose X socket exists.
bool LocalDisplayReachable() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] != ':') {
        return false;
    }
    std::string number(display + 1);
    number = number.substr(0, number.find('.'));
    return !number.empty() && std::filesystem::exists("/tmp/.X11-unix/X" + number);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool display = LocalDisplayReachable();
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
