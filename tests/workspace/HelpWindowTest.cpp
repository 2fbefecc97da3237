// The help window: context numbers to pages, the links between the compiled-in pages, and F1 in
// ordinary and modal windows.
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/HelpContext.h"
#include "workspace/HelpWindow.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <set>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

QUrl Page(const char* name) {
    return QUrl(QStringLiteral("qrc:/help/") + QString::fromLatin1(name));
}

QString ReadResource(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

TEST(HelpContextTest, TheNearestContextUpTheParentChainCounts) {
    QWidget window;
    auto* tab = new QWidget(&window);
    auto* field = new QLineEdit(tab);
    auto* other = new QLineEdit(&window);
    EXPECT_EQ(HelpContextOf(field), 0);
    EXPECT_EQ(HelpContextOf(nullptr), 0);
    SetHelpContext(&window, kHelpMainWindow);
    SetHelpContext(tab, kHelpStereogramTab);
    EXPECT_EQ(HelpContextOf(field), kHelpStereogramTab);
    EXPECT_EQ(HelpContextOf(tab), kHelpStereogramTab);
    EXPECT_EQ(HelpContextOf(other), kHelpMainWindow);
    SetHelpContext(field, kHelpModelTab);
    EXPECT_EQ(HelpContextOf(field), kHelpModelTab);
    SetHelpContext(tab, 0);
    EXPECT_EQ(HelpContextOf(tab), kHelpMainWindow);
}

class HelpWindowTest : public ::testing::Test {
protected:
    void SetUp() override { VM_REQUIRE_DISPLAY(); }
    QTextBrowser* Browser() { return help_.findChild<QTextBrowser*>(QStringLiteral("HelpBrowser")); }

    HelpWindow help_;
};

TEST_F(HelpWindowTest, EveryContextShowsItsPageAndUnknownOnesTheContents) {
    struct Row {
        int context;
        const char* page;
        const char* title;
    };
    const std::array<Row, 10> rows{{
        {40, "animation.html", "Animations"},
        {100, "configuration.html", "Configuration"},
        {115, "preview.html", "The preview window"},
        {130, "main-window.html", "The main window"},
        {140, "stereogram-tab.html", "The Stereogram tab"},
        {150, "model-tab.html", "The 3D model tab"},
        {0, "index.html", "Contents"},
        {-1, "index.html", "Contents"},
        {131, "index.html", "Contents"},
        {99999, "index.html", "Contents"},
    }};
    ASSERT_NE(Browser(), nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.context);
        help_.ShowContents();
        help_.ShowContext(row.context);
        EXPECT_EQ(help_.CurrentPage(), Page(row.page));
        EXPECT_EQ(Browser()->documentTitle(), QString::fromLatin1(row.title));
        EXPECT_TRUE(help_.isVisible());
        EXPECT_TRUE(help_.isWindow());
        EXPECT_TRUE(help_.windowTitle().startsWith(QStringLiteral("Vistamaze Help")));
        // The page has real content, not an empty document.
        EXPECT_GT(Browser()->toPlainText().size(), 400);
    }
    help_.ShowContext(100);
    help_.ShowContents();
    EXPECT_EQ(help_.CurrentPage(), Page("index.html"));
}

TEST(HelpPagesTest, EveryLinkAndPictureResolvesAndEveryPageIsReachable) {
    std::set<QString> pages;
    QDirIterator it(QStringLiteral(":/help"));
    while (it.hasNext()) {
        pages.insert(QFileInfo(it.next()).fileName());
    }
    ASSERT_TRUE(pages.count(QStringLiteral("index.html")) == 1) << "help resources not linked in";

    const QRegularExpression reference(QStringLiteral(R"re((href|src)="([^"]*)")re"));
    std::set<QString> linked{QStringLiteral("index.html")};
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        const QString html = ReadResource(QStringLiteral(":/help/") + page);
        EXPECT_TRUE(html.contains(QStringLiteral("<title>"))) << "no title";
        auto matches = reference.globalMatch(html);
        while (matches.hasNext()) {
            const QString target = matches.next().captured(2);
            const QUrl url = QUrl(QStringLiteral("qrc:/help/") + page).resolved(QUrl(target));
            if (url.scheme() != QStringLiteral("qrc")) {
                continue;
            }
            EXPECT_TRUE(QFile::exists(QStringLiteral(":") + url.path())) << target.toStdString();
            linked.insert(QFileInfo(url.path()).fileName());
        }
    }
    for (const QString& page : pages) {
        EXPECT_EQ(linked.count(page), 1U) << page.toStdString() << " is linked from nowhere";
    }
}

TEST_F(HelpWindowTest, FollowingALinkAndGoingBackWorks) {
    help_.ShowContents();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help_));
    help_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&help_));
    QTextBrowser* browser = Browser();
    ASSERT_NE(browser, nullptr);
    browser->setFocus();
    // Tab moves to the first link of the contents page; Enter follows it.
    QTest::keyClick(browser, Qt::Key_Tab);
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(help_.CurrentPage(), Page("model-tab.html"));
    EXPECT_EQ(browser->documentTitle(), QStringLiteral("The 3D model tab"));

    auto* back = help_.findChild<QToolButton*>(QStringLiteral("bBack"));
    auto* forward = help_.findChild<QToolButton*>(QStringLiteral("bForward"));
    ASSERT_NE(back, nullptr);
    ASSERT_NE(forward, nullptr);
    ASSERT_TRUE(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(help_.CurrentPage(), Page("index.html"));
    QTest::mouseClick(forward, Qt::LeftButton);
    EXPECT_EQ(help_.CurrentPage(), Page("model-tab.html"));
}

TEST_F(HelpWindowTest, F1ShowsThePageOfTheFocusedWidgetOrItsWindow) {
    HelpWindow::InstallF1(*qApp, help_);
    QWidget window;
    SetHelpContext(&window, kHelpMainWindow);
    auto* layout = new QVBoxLayout(&window);
    auto* tab = new QWidget(&window);
    SetHelpContext(tab, kHelpModelTab);
    auto* tabField = new QLineEdit(tab);
    auto* windowField = new QLineEdit(&window);
    layout->addWidget(tab);
    layout->addWidget(windowField);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    struct Case {
        QLineEdit* focus;
        const char* page;
    };
    for (const Case& c : {Case{tabField, "model-tab.html"}, Case{windowField, "main-window.html"}}) {
        c.focus->setFocus();
        QTest::keyClick(c.focus, Qt::Key_F1);
        EXPECT_EQ(help_.CurrentPage(), Page(c.page));
        EXPECT_TRUE(help_.isVisible());
        // F1 is taken by the help, not typed into the field.
        EXPECT_TRUE(c.focus->text().isEmpty());
        help_.hide();
    }
    // Shift+F1 is not ours.
    tabField->setFocus();
    help_.ShowContents();
    help_.hide();
    QTest::keyClick(tabField, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_FALSE(help_.isVisible());
}

TEST_F(HelpWindowTest, F1InTheModalConfigurationShowsItsPageAboveTheDialog) {
    HelpWindow::InstallF1(*qApp, help_);
    ConfigurationDialog config;
    bool helpWasModalTop = false;
    QUrl pageShown;
    QTimer poll;
    poll.setInterval(10);
    int step = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (step == 0 && modal == &config) {
            step = 1;
            config.MaxDepthEdit()->setFocus();
            QTest::keyClick(config.MaxDepthEdit(), Qt::Key_F1);
            pageShown = help_.CurrentPage();
            helpWasModalTop = QApplication::activeModalWidget() == &help_ && help_.isVisible();
            help_.close();
        } else if (step == 1 && modal == &config) {
            poll.stop();
            config.reject();
        }
    });
    poll.start();
    config.exec();
    EXPECT_EQ(pageShown, Page("configuration.html"));
    EXPECT_TRUE(helpWasModalTop);
    // Shown from a modeless setting again, the window is modeless once more.
    help_.ShowContext(kHelpMainWindow);
    EXPECT_EQ(help_.windowModality(), Qt::NonModal);
    EXPECT_TRUE(help_.isVisible());
}

}  // namespace
}  // namespace vistamaze::test
