#pragma once

#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/ProgramWindows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {

// The whole program's windows as start-up creates them, with the main window shown. The program
// folder is a temporary "bin" (the samples then come from the source tree) and the documents
// folder a temporary "Documents"; every modal dialog is scripted.
class ProgramFixture : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_DISPLAY();
        dialogs_ = &InstallScriptedDialogs();
        std::filesystem::create_directories(temp_ / "bin");
        QSettings().clear();  // every test starts as a first run
        StartProgram();
    }
    // Creates the windows afresh, as a new run of the program does, and shows the main window.
    void StartProgram() {
        windows_.reset();
        MainWindowSetup setup;
        setup.documentsFolder = Q(temp_ / "Documents");
        setup.folders = FindProgramFolders(Q(temp_ / "bin"), QStringLiteral(VM_SOURCE_DIR));
        windows_ = std::make_unique<ProgramWindows>(setup);
        Main().show();
        Main().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    }
    void TearDown() override {
        windows_.reset();
        QSettings().clear();  // and leaves nothing behind for tests that start windows themselves
        QDir::setCurrent(startFolder_);
    }

    static QString Q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

    [[nodiscard]] MainWindow& Main() const { return windows_->Main(); }
    [[nodiscard]] Stereogram& Engine() const { return windows_->Main().Engine(); }

    template <typename T>
    [[nodiscard]] T* Find(const QWidget& window, const char* name) const {
        auto* child = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    [[nodiscard]] QLineEdit* MainField(const char* name) const { return Find<QLineEdit>(Main(), name); }
    // The radio buttons of the main window's choice groups, in item order.
    [[nodiscard]] static std::vector<const char*> RadioNames(std::string_view group) {
        static const std::map<std::string_view, std::vector<const char*>> kGroups{
            {"kindGroup", {"randomDotButton", "randomDotTexturedButton", "texturedButton"}},
            {"blurGroup", {"blurNoneButton", "blurLightButton", "blurMediumButton", "blurHeavyButton"}},
            {"dotColorsGroup", {"blackWhiteButton", "rgbButton"}},
            {"oversamplingGroup",
             {"oversampling1Button", "oversampling2Button", "oversampling3Button", "oversampling4Button",
              "oversampling5Button", "oversampling6Button", "oversampling7Button", "oversampling8Button"}},
            {"geometryGroup", {"divergingButton", "convergingButton"}},
        };
        const auto found = kGroups.find(group);
        return found != kGroups.end() ? found->second : std::vector<const char*>{};
    }
    // Item `index` of the radio group `group` ("kindGroup", "geometryGroup", ...).
    [[nodiscard]] QRadioButton* Radio(const char* group, int index) const {
        const std::vector<const char*> names = RadioNames(group);
        EXPECT_LT(static_cast<std::size_t>(index), names.size()) << group;
        return static_cast<std::size_t>(index) < names.size()
                   ? Find<QRadioButton>(Main(), names[static_cast<std::size_t>(index)])
                   : nullptr;
    }
    [[nodiscard]] int CheckedItem(const char* group) const {
        const std::vector<const char*> names = RadioNames(group);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (Find<QRadioButton>(Main(), names[i])->isChecked()) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // Clicks `button` on its indicator or first letters, where a radio button or check box takes
    // the click, as a user does; the button takes the keyboard focus.
    static void Click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {},
                          QPoint(std::min(10, button->width() / 2), button->height() / 2));
    }
    // Makes `window` the active window; without a window manager (Xvfb) X may refuse the request,
    // and Qt's own notion of the active window is then set directly.
    static bool Activate(QWidget& window) {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window, 1000)) {
            QApplication::setActiveWindow(&window);
        }
        return QTest::qWaitForWindowActive(&window, 1000);
    }
    // Replaces the text of `edit` by typing `text` into it, as a user does.
    static void Retype(QLineEdit* edit, const QString& text) {
        edit->setFocus(Qt::MouseFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    // Moves the keyboard focus on from `edit` with Tab, which leaves the field.
    static void Leave(QLineEdit* edit) { QTest::keyClick(edit, Qt::Key_Tab); }

    TempDir temp_;
    QString startFolder_ = QDir::currentPath();
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<ProgramWindows> windows_;
};

}  // namespace vistamaze::test
