// Test main for the 3D layer's logic: a QGuiApplication on the off-screen platform gives the font
// database that the text extrusion needs; no display and no OpenGL context are used.
#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
