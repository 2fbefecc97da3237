// The main window as a user meets it right after start-up: title, tabs, menu, toolbar, which
// commands are enabled, and the folders it sets up.
#include "tests/support/TestSupport.h"
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/MainWindow.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        VM_REQUIRE_DISPLAY();
        dialogs_ = &InstallScriptedDialogs();
        std::filesystem::create_directories(temp_ / "bin");
    }
    void TearDown() override { QDir::setCurrent(startFolder_); }

    // A main window whose program folder is a temporary "bin" (samples then come from the source
    // tree) and whose documents folder is `documents`.
    std::unique_ptr<MainWindow> MakeWindow(const QString& documents) {
        MainWindowSetup setup;
        setup.documentsFolder = documents;
        setup.folders = FindProgramFolders(Q(temp_ / "bin"), QStringLiteral(VM_SOURCE_DIR));
        return std::make_unique<MainWindow>(setup);
    }
    std::unique_ptr<MainWindow> ShowWindow() {
        auto window = MakeWindow(Q(temp_ / "Documents"));
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }

    static QAction* Command(MainWindow& window, const char* name) {
        auto* action = window.findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    }

    TempDir temp_;
    QString startFolder_ = QDir::currentPath();
    ScriptedDialogs* dialogs_ = nullptr;
};

TEST_F(MainWindowTest, StartsMaximisedWithTitleAndTheStereogramTabActive) {
    auto window = ShowWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistamaze"));
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->minimumSize(), QSize(700, 550));
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabs"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("3D model"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Stereogram"));
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), QStringLiteral("Stereogram"));
    // The group boxes of the "Stereogram" tab; "&&" shows as one "&".
    std::vector<QString> groups;
    for (const char* name : {"sizeGroup", "textureGroup", "depthMapGroup"}) {
        auto* box = tabs->widget(1)->findChild<QGroupBox*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr) << name;
        groups.push_back(box->title());
    }
    EXPECT_EQ(groups, (std::vector<QString>{"Size && DPI", "Texture", "Depth map"}));
    EXPECT_TRUE(dialogs_->Messages().empty());
}

struct MenuEntry {
    QString caption;  // empty: separator
    QString shortcut;
    bool enabled;
};

TEST_F(MainWindowTest, MainMenuCaptionsShortcutsAndStartStates) {
    auto window = ShowWindow();
    const std::vector<std::pair<QString, std::vector<MenuEntry>>> expected{
        {"File",
         {{"Load 3DS model", "", true},
          {"Load Depth Map", "", true},
          {"", "", true},
          {"Load Texture", "", true},
          {"", "", true},
          {"Save Stereogram", "Ctrl+S", false},
          {"", "", true},
          {"Exit", "", true}}},
        {"Action",
         {{"Render ", "F12", false},
          {"", "", true},
          {"Render animation", "", false},
          {"", "", true},
          {"Show last rendered", "", false},
          {"", "", true},
          {"Configuration", "", true}}},
        {"Info", {{"Help", "", true}, {"", "", true}, {"About", "", true}}},
    };
    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t m = 0; m < expected.size(); ++m) {
        SCOPED_TRACE(expected[m].first.toStdString());
        QMenu* menu = menus[static_cast<qsizetype>(m)]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), expected[m].first);
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[m].second.size()));
        for (std::size_t i = 0; i < expected[m].second.size(); ++i) {
            const MenuEntry& entry = expected[m].second[i];
            const QAction* item = items[static_cast<qsizetype>(i)];
            SCOPED_TRACE(entry.caption.toStdString());
            EXPECT_EQ(item->isSeparator(), entry.caption.isEmpty());
            if (!item->isSeparator()) {
                EXPECT_EQ(item->text(), entry.caption);
                EXPECT_EQ(item->shortcut(), QKeySequence(entry.shortcut));
                EXPECT_EQ(item->isEnabled(), entry.enabled);
            }
        }
    }
}

TEST_F(MainWindowTest, ToolbarButtonsHintsIconsAndStartStates) {
    auto window = ShowWindow();
    struct Button {
        const char* name;  // null: separator
        QString hint;
        bool enabled;
    };
    const std::vector<Button> expected{{"openModelButton", "Open 3D Studio file", true},
                                       {nullptr, "", true},
                                       {"openDepthMapButton", "Open depth image", true},
                                       {"loadTextureButton", "Load texture", true},
                                       {nullptr, "", true},
                                       {"renderButton", "Render stereogram", false},
                                       {"showLastRenderedButton", "Show last rendered stereogram", false},
                                       {nullptr, "", true},
                                       {"saveButton", "Save last rendered stereogram", false},
                                       {nullptr, "", true},
                                       {"configurationButton", "Configuration", true}};
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolBar"));
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(toolbar->iconSize(), QSize(30, 30));
    const QList<QAction*> actions = toolbar->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QAction* action = actions[static_cast<qsizetype>(i)];
        if (expected[i].name == nullptr) {
            EXPECT_TRUE(action->isSeparator()) << i;
            continue;
        }
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(action->objectName(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(action->toolTip(), expected[i].hint);
        EXPECT_EQ(action->isEnabled(), expected[i].enabled);
        // Each icon draws: a 30 x 30 picture with some opaque pixels.
        const QImage icon = action->icon().pixmap(QSize(30, 30)).toImage();
        ASSERT_FALSE(icon.isNull());
        int opaque = 0;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                opaque += qAlpha(icon.pixel(x, y)) > 0 ? 1 : 0;
            }
        }
        EXPECT_GT(opaque, 30 * 30 / 10);
        auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->isEnabled(), expected[i].enabled);
    }
}

// Which commands each enabling step turns on; nothing else changes.
struct EnablingCase {
    const char* step;
    void (MainWindow::*enable)();
    std::vector<const char*> commands;
};

const std::vector<const char*> kStartDisabled{
    "renderButton",           "renderAction", "renderAnimationAction", "showLastRenderedButton",
    "showLastRenderedAction", "saveButton",   "saveStereogramAction"};

TEST_F(MainWindowTest, EnablingStepsTurnOnTheirCommandsOnlyAndNeverBackOff) {
    const std::vector<EnablingCase> cases{
        {"render", &MainWindow::EnableRenderCommands, {"renderButton", "renderAction"}},
        {"animation", &MainWindow::EnableAnimationCommands, {"renderAnimationAction"}},
        {"result",
         &MainWindow::EnableResultCommands,
         {"showLastRenderedButton", "showLastRenderedAction", "saveButton", "saveStereogramAction"}},
    };
    for (const EnablingCase& c : cases) {
        SCOPED_TRACE(c.step);
        auto window = ShowWindow();
        (window.get()->*c.enable)();
        (window.get()->*c.enable)();
        for (const char* name : kStartDisabled) {
            const bool wanted = std::find_if(c.commands.begin(), c.commands.end(), [name](const char* n) {
                                    return std::string_view(n) == name;
                                }) != c.commands.end();
            EXPECT_EQ(Command(*window, name)->isEnabled(), wanted) << name;
        }
        // Any later step leaves what is on, on.
        for (const EnablingCase& other : cases) {
            (window.get()->*other.enable)();
        }
        for (const char* name : kStartDisabled) {
            EXPECT_TRUE(Command(*window, name)->isEnabled()) << name;
        }
    }
}

TEST_F(MainWindowTest, ShortcutsAndToolButtonsRunOnlyEnabledCommands) {
    auto window = ShowWindow();
    QAction* render = Command(*window, "renderAction");
    QAction* save = Command(*window, "saveStereogramAction");
    QAction* renderTool = Command(*window, "renderButton");
    QSignalSpy saveSpy(save, &QAction::triggered);
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolBar"));
    QWidget* renderButton = toolbar->widgetForAction(renderTool);

    QTest::keyClick(window.get(), Qt::Key_F12);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::mouseClick(renderButton, Qt::LeftButton);
    EXPECT_EQ(render->isEnabled(), false);
    EXPECT_TRUE(dialogs_->Messages().empty());
    EXPECT_EQ(saveSpy.count(), 0);

    // Enabled, both run the render, which here (no depth map) ends in the engine's refusal.
    window->EnableRenderCommands();
    QTest::keyClick(window.get(), Qt::Key_F12);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::mouseClick(renderButton, Qt::LeftButton);
    ASSERT_EQ(dialogs_->Messages().size(), 2U);
    EXPECT_EQ(dialogs_->Messages()[1].text, QStringLiteral("DepthMap is empty, please load depth image"));
    EXPECT_EQ(saveSpy.count(), 0);

    window->EnableResultCommands();
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saveSpy.count(), 1);
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
    auto window = ShowWindow();
    ASSERT_TRUE(window->isVisible());
    Command(*window, "exitAction")->trigger();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, CreatesTheUserDataFolderWithMissingParentsAndKeepsAnExistingOne) {
    const std::filesystem::path documents = temp_ / "home" / "user" / "Documents";
    auto first = MakeWindow(Q(documents));
    const std::filesystem::path folder = documents / "Vistamaze";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(first->UserDataFolder(), Q(folder) + QLatin1Char('/'));

    WriteBytes(folder / "kept.bmp", {1, 2, 3});
    auto second = MakeWindow(Q(documents) + QLatin1Char('/'));
    EXPECT_EQ(second->UserDataFolder(), first->UserDataFolder());
    EXPECT_EQ(ReadBytes(folder / "kept.bmp"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(dialogs_->Messages().empty());
}

TEST_F(MainWindowTest, WithoutDocumentsFolderUsesTheStartFolderThenMovesToTheProgramFolder) {
    const std::filesystem::path start = temp_ / "start";
    std::filesystem::create_directories(start);
    ASSERT_TRUE(QDir::setCurrent(Q(start)));
    auto window = MakeWindow(QString());
    EXPECT_TRUE(std::filesystem::is_directory(start / "Vistamaze"));
    EXPECT_EQ(window->UserDataFolder(), Q(start / "Vistamaze") + QLatin1Char('/'));
    EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(Q(temp_ / "bin")).canonicalPath());
    EXPECT_EQ(window->Folders().program, QDir::cleanPath(Q(temp_ / "bin")));
}

}  // namespace
}  // namespace vistamaze::test
