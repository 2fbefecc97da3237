// The program's real file dialogs (Qt's own widgets, not native ones) driven as a user does: the
// type chosen in the save dialog gives a typed name its extension, and F1 inside a dialog leaves
// it usable once the help is closed.
#include "tests/support/TestSupport.h"
#include "tests/workspace/DialogDriver.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/HelpWindow.h"
#include "workspace/QtDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

const QString kSaveFilter = QStringLiteral(
    "BMP files (*.BMP)|*.BMP|JPG files (*.JPG)|*.JPG|PNG files (*.PNG)|*.PNG|TGA files (*.TGA)|*.TGA");

class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { VM_REQUIRE_DISPLAY(); }
    [[nodiscard]] FileDialogRequest SaveRequest() const {
        FileDialogRequest request;
        request.initialFolder = QString::fromStdString(temp_.Path().string());
        request.filter = kSaveFilter;
        request.defaultSuffix = QStringLiteral("JPG");
        return request;
    }
    // Saves under `typed`, with the type of entry `typeIndex` chosen from the type list by key
    // first (as a user picks it), or untouched when negative.
    std::optional<QString> Save(const QString& typed, int typeIndex) {
        DialogDriver driver([&](QFileDialog& dialog) {
            auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            EXPECT_NE(types, nullptr);
            EXPECT_NE(name, nullptr);
            if (types == nullptr || name == nullptr) {
                return false;
            }
            if (typeIndex >= 0) {
                types->setFocus();
                for (int i = types->currentIndex(); i < typeIndex; ++i) {
                    QTest::keyClick(types, Qt::Key_Down);
                }
                EXPECT_EQ(types->currentIndex(), typeIndex);
            }
            name->setFocus();
            name->setText(typed);
            QTest::keyClick(name, Qt::Key_Return);
            return true;
        });
        std::optional<QString> chosen = dialogs_.SaveFile(nullptr, SaveRequest());
        EXPECT_TRUE(driver.Ran());
        return chosen;
    }

    TempDir temp_;
    QtDialogs dialogs_;
};

TEST_F(QtDialogsTest, TheChosenSaveTypeGivesATypedNameWithoutExtensionItsExtension) {
    const QString folder = QString::fromStdString(temp_.Path().string());
    const struct {
        const char* typed;
        int type;  // -1: left as it opened (BMP, the first entry)
        const char* saved;
    } cases[] = {
        {"plain", -1, "plain.BMP"},     // nothing chosen: the type shown
        {"picture", 2, "picture.PNG"},  // "PNG files"
        {"targa", 3, "targa.TGA"},      // "TGA files"
        {"named.bmp", 2, "named.bmp"},  // a typed extension stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::optional<QString> chosen = Save(QString::fromLatin1(c.typed), c.type);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(QFileInfo(*chosen).fileName(), QString::fromLatin1(c.saved));
        EXPECT_EQ(QFileInfo(*chosen).absolutePath(), QFileInfo(folder).absoluteFilePath());
    }
}

TEST_F(QtDialogsTest, AfterHelpFromAFileDialogTheDialogTakesTypingAndEscAgain) {
    HelpWindow help;
    HelpWindow::InstallF1(*qApp, help);
    bool helpShown = false;
    bool backInDialog = false;
    DialogDriver driver([&](QFileDialog& dialog) {
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            return false;
        }
        name->setFocus();
        QTest::keyClick(name, Qt::Key_F1);
        helpShown = help.isVisible();
        help.close();
        // The dialog is the active window again, with the keyboard focus where it was.
        backInDialog = QTest::qWaitFor(
            [&] { return QApplication::activeWindow() == &dialog && QApplication::focusWidget() == name; },
            3000);
        if (!backInDialog) {
            return false;
        }
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abc"));
        EXPECT_EQ(name->text(), QStringLiteral("abc"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        return true;
    });
    FileDialogRequest request;
    request.caption = QStringLiteral("Select depth map");
    request.initialFolder = QString::fromStdString(temp_.Path().string());
    EXPECT_FALSE(dialogs_.OpenFile(nullptr, request).has_value());
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(helpShown);
    EXPECT_TRUE(backInDialog);
}

}  // namespace
}  // namespace vistamaze::test
