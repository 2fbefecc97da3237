// The default error report: an exception leaving an event handler is shown through the dialogs
// and the program carries on.
#include "engine/Errors.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/VistamazeApplication.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

TEST(ErrorReportTest, ApplicationIsTitledVistamaze) {
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Vistamaze"));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Vistamaze"));
}

TEST(ErrorReportTest, ExceptionFromClickHandlerIsShownAndTheProgramCarriesOn) {
    VM_REQUIRE_DISPLAY();
    ScriptedDialogs& dialogs = InstallScriptedDialogs();
    QPushButton failing(QStringLiteral("Fail"));
    QPushButton working(QStringLiteral("Work"));
    int failingClicks = 0;
    int workingClicks = 0;
    QObject::connect(&failing, &QPushButton::clicked, [&failingClicks] {
        ++failingClicks;
        throw Error("DepthMap is empty, please load depth image");
    });
    QObject::connect(&working, &QPushButton::clicked, [&workingClicks] { ++workingClicks; });
    failing.show();
    working.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&failing));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&working));

    QTest::mouseClick(&failing, Qt::LeftButton);
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(dialogs.Messages()[0].text, QStringLiteral("DepthMap is empty, please load depth image"));

    // The same button and another one still work afterwards, and each failure is reported once.
    QTest::mouseClick(&working, Qt::LeftButton);
    QTest::mouseClick(&failing, Qt::LeftButton);
    EXPECT_EQ(workingClicks, 1);
    EXPECT_EQ(failingClicks, 2);
    EXPECT_EQ(dialogs.Messages().size(), 2u);
}

TEST(ErrorReportTest, ExceptionFromTimerAndKeyHandlersIsShown) {
    VM_REQUIRE_DISPLAY();
    ScriptedDialogs& dialogs = InstallScriptedDialogs();
    QTimer::singleShot(1, [] { throw std::runtime_error("Failed to create AVI video stream"); });
    ASSERT_TRUE(QTest::qWaitFor([&dialogs] { return !dialogs.Messages().empty(); }));
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].text, QStringLiteral("Failed to create AVI video stream"));

    // A file error from a keyboard shortcut of a shown window.
    QWidget window;
    QAction action(&window);
    action.setShortcut(Qt::Key_F12);
    window.addAction(&action);
    QObject::connect(&action, &QAction::triggered, [] { throw FileAccessError("Cannot open file x.bmp"); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F12);
    ASSERT_EQ(dialogs.Messages().size(), 2u);
    EXPECT_EQ(dialogs.Messages()[1].text, QStringLiteral("Cannot open file x.bmp"));

    // The event loop is still alive: a later timer runs normally.
    bool ran = false;
    QTimer::singleShot(1, [&ran] { ran = true; });
    EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran; }));
    EXPECT_EQ(dialogs.Messages().size(), 2u);
}

}  // namespace
}  // namespace vistamaze::test
