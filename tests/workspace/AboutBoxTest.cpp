// The about box: shown modally from "About", version label, links, and the ways it closes.
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "vistamaze/Version.h"
#include "workspace/AboutBox.h"
#include "workspace/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

const QUrl kWeb(QStringLiteral("file:///opt/vistamaze/README.md"));
const QUrl kMail(QStringLiteral("mailto:maker@example.org"));

// "major.minor build N" from CMake's "major.minor.build", which --version and the package carry.
QString VersionShown() {
    const QStringList parts = QString::fromLatin1(kVersion).split(QLatin1Char('.'));
    return parts.at(0) + QLatin1Char('.') + parts.at(1) + QStringLiteral(" build ") + parts.at(2);
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_DISPLAY();
        about_.SetUrlOpener([this](const QUrl& url) { opened_.push_back(url); });
    }
    QLabel* Label(const char* name) {
        auto* label = about_.findChild<QLabel*>(QString::fromLatin1(name));
        EXPECT_NE(label, nullptr) << name;
        return label;
    }

    AboutBox about_{kWeb, kMail};
    std::vector<QUrl> opened_;
};

TEST_F(AboutBoxTest, AboutCommandShowsTheBoxModallyAndEscClosesIt) {
    TempDir temp;
    std::filesystem::create_directories(temp / "bin");
    const QString startFolder = QDir::currentPath();
    MainWindowSetup setup;
    setup.documentsFolder = QString::fromStdString((temp / "Documents").string());
    setup.folders = FindProgramFolders(QString::fromStdString((temp / "bin").string()), QString());
    MainWindow window(setup);
    MainWindowPartners partners;
    partners.about = &about_;
    window.AttachWindows(partners);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QString caption;
    QString version;
    bool modal = false;
    bool closeButton = true;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* active = QApplication::activeModalWidget();
        if (active == nullptr) {
            return;
        }
        poll.stop();
        modal = active == &about_;
        caption = active->windowTitle();
        version = Label("versionLabel")->text();
        closeButton = active->windowFlags().testFlag(Qt::WindowCloseButtonHint);
        QTest::keyClick(active, Qt::Key_Escape);
    });
    poll.start();
    window.findChild<QAction*>(QStringLiteral("aboutAction"))->trigger();
    QDir::setCurrent(startFolder);

    EXPECT_TRUE(modal);
    EXPECT_EQ(caption, QStringLiteral("About"));
    EXPECT_EQ(version, VersionShown());
    EXPECT_FALSE(closeButton);
    EXPECT_FALSE(about_.isVisible());
    EXPECT_TRUE(opened_.empty());
}

TEST_F(AboutBoxTest, LinksOpenTheirAddressesAndKeepTheBoxOpen) {
    about_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about_));
    QTest::mouseClick(Label("webLink"), Qt::LeftButton);
    QTest::mouseClick(Label("mailLink"), Qt::LeftButton);
    QTest::mouseClick(Label("licenceLink"), Qt::LeftButton);
    EXPECT_EQ(opened_, (std::vector<QUrl>{
                           kWeb, kMail, QUrl(QStringLiteral("https://www.gnu.org/licenses/gpl-3.0.html"))}));
    EXPECT_TRUE(about_.isVisible());
    // The licence line fits: the box keeps the size of its two halves.
    EXPECT_EQ(about_.size(), QSize(480, 260));
    // Links look like links: underlined and with the hand cursor.
    EXPECT_TRUE(Label("webLink")->font().underline() || Label("webLink")->styleSheet().contains("underline"));
    EXPECT_EQ(Label("mailLink")->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(AboutBoxTest, AClickElsewhereClosesTheBoxAndTheVersionIsSetOnEveryShow) {
    for (const char* target : {"logoLabel", "descriptionLabel"}) {
        SCOPED_TRACE(target);
        Label("versionLabel")->setText(QStringLiteral("stale"));
        about_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about_));
        EXPECT_EQ(Label("versionLabel")->text(), VersionShown());
        QTest::mouseClick(Label(target), Qt::LeftButton);
        EXPECT_FALSE(about_.isVisible());
    }
    EXPECT_TRUE(opened_.empty());
}

// A link with nowhere to go is not offered: no documentation found, a mail link without address.
TEST(AboutBoxLinksTest, OnlyLinksWithATargetAreShown) {
    VM_REQUIRE_DISPLAY();
    const struct {
        QUrl web;
        QUrl mail;
        bool webShown;
        bool mailShown;
    } cases[] = {
        {kWeb, kMail, true, true},
        {kWeb, QUrl(QStringLiteral("mailto:?subject=Vistamaze")), true, false},
        {QUrl(), QUrl(), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mail.toString().toStdString());
        AboutBox about(c.web, c.mail);
        std::vector<QUrl> opened;
        about.SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        auto* web = about.findChild<QLabel*>(QStringLiteral("webLink"));
        auto* mail = about.findChild<QLabel*>(QStringLiteral("mailLink"));
        EXPECT_EQ(web->isVisible(), c.webShown);
        EXPECT_EQ(mail->isVisible(), c.mailShown);
        EXPECT_EQ(web->text(), QStringLiteral("Documentation"));
        EXPECT_TRUE(opened.empty());
    }
    EXPECT_FALSE(LinkHasTarget(QUrl(QStringLiteral("mailto:"))));
    EXPECT_TRUE(LinkHasTarget(QUrl::fromLocalFile(QStringLiteral("/usr/share/vistamaze/README.md"))));
}

TEST(ProjectPageUrlTest, FindsTheReadmeOfTheSourceTreeOrNothing) {
    TempDir temp;
    const QString bin = QString::fromStdString(temp.Path().string());
    EXPECT_EQ(ProjectPageUrl(bin, QStringLiteral(VM_SOURCE_DIR)),
              QUrl::fromLocalFile(QStringLiteral(VM_SOURCE_DIR "/README.md")));
    EXPECT_TRUE(ProjectPageUrl(bin, QString()).isEmpty());
    WriteBytes(temp / "README.md", {'#'});
    EXPECT_EQ(ProjectPageUrl(bin, QStringLiteral(VM_SOURCE_DIR)),
              QUrl::fromLocalFile(QDir(bin).filePath(QStringLiteral("README.md"))));
}

}  // namespace
}  // namespace vistamaze::test
