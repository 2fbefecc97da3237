// The configuration dialog driven through its widgets: stored start values, typing filter,
// presets, when the main window is told that a field was left, and how the dialog closes.
#include "tests/workspace/WorkspaceTestSupport.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/HelpContext.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <array>
#include <vector>

#include <gtest/gtest.h>

namespace vistamaze::test {
namespace {

struct FieldRow {
    const char* edit;
    const char* label;
    const char* caption;
    const char* start;
};

// Captions and stored values of the dialog's five fields, top to bottom.
constexpr std::array<FieldRow, 5> kFields{{
    {"observationDistanceEdit", "observationDistanceLabel", "Observation distance (inch)", "14"},
    {"maxDepthEdit", "maxDepthLabel", "Max 3D depth (inch)", "14"},
    {"minDepthEdit", "minDepthLabel", "Min 3D depth (inch)", "8"},
    {"separationEdit", "separationLabel", "Separation (pixels)", "90"},
    {"dpiEdit", "dpiLabel", "DPI (Display/printer resolution)", "72"},
}};

struct PresetRow {
    const char* button;
    std::array<const char*, 5> fields;  // distance, max depth, min depth, separation, DPI
    bool choosesDefaultSize;
};

constexpr std::array<PresetRow, 5> kPresets{{
    {"defaultButton", {"14", "14", "8", "90", "72"}, true},
    {"moreDepthButton", {"10", "14", "8", "105", "75"}, false},
    {"extraDepthButton", {"8", "20", "8", "134", "75"}, false},
    {"highResButton", {"20", "20", "10", "250", "200"}, false},
    {"flatButton", {"20", "15", "10", "80", "75"}, false},
}};

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override { VM_REQUIRE_DISPLAY(); }

    template <typename T>
    T* Child(const char* name) {
        auto* child = dialog_.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    std::vector<QLineEdit*> Edits() const {
        return {dialog_.ObservationDistanceEdit(), dialog_.MaxDepthEdit(), dialog_.MinDepthEdit(),
                dialog_.SeparationEdit(), dialog_.DpiEdit()};
    }
    void ShowActive() {
        dialog_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog_));
        dialog_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    }
    static QRect Global(const QWidget* w) { return {w->mapToGlobal(QPoint(0, 0)), w->size()}; }

    ConfigurationDialog dialog_;
};

TEST_F(ConfigDialogTest, FieldsCarryTheirLabelsAndStartValues) {
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("Configuration"));
    EXPECT_EQ(HelpContextOf(dialog_.MinDepthEdit()), kHelpConfiguration);
    const std::vector<QLineEdit*> edits = Edits();
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        SCOPED_TRACE(kFields[i].edit);
        EXPECT_EQ(edits[i]->objectName(), QString::fromLatin1(kFields[i].edit));
        EXPECT_EQ(edits[i]->text(), QString::fromLatin1(kFields[i].start));
        auto* label = Child<QLabel>(kFields[i].label);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(kFields[i].caption));
        EXPECT_EQ(label->buddy(), edits[i]);
    }
}

TEST_F(ConfigDialogTest, OnlyDigitsCanBeTypedButPastedTextIsKept) {
    ShowActive();
    for (QLineEdit* edit : Edits()) {
        SCOPED_TRACE(edit->objectName().toStdString());
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1a.-5"));
        EXPECT_EQ(edit->text(), QStringLiteral("15"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text(), QStringLiteral("1"));

        edit->clear();
        edit->insert(QStringLiteral("abc"));
        EXPECT_EQ(edit->text(), QStringLiteral("abc"));
        edit->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("7.5"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), QStringLiteral("7.5"));
    }
}

// Four characters can be typed; what the program writes back (a pasted ".001" read as 0.001) and
// pasted text show in full.
TEST_F(ConfigDialogTest, TheLengthLimitIsForTypingOnly) {
    ShowActive();
    for (QLineEdit* edit : Edits()) {
        SCOPED_TRACE(edit->objectName().toStdString());
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("123456"));
        EXPECT_EQ(edit->text(), QStringLiteral("1234"));
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("98"));
        EXPECT_EQ(edit->text(), QStringLiteral("98"));

        edit->setText(QStringLiteral("0.001"));
        EXPECT_EQ(edit->text(), QStringLiteral("0.001"));
        edit->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("12.3456"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), QStringLiteral("12.3456"));
    }
}

TEST_F(ConfigDialogTest, EachPresetFillsItsRowAndOnlyDefaultChoosesTheSize) {
    QSignalSpy defaultSize(&dialog_, &ConfigurationDialog::DefaultSizeChosen);
    QSignalSpy left(&dialog_, &ConfigurationDialog::FieldLeft);
    ShowActive();
    EXPECT_TRUE(dialog_.ObservationDistanceEdit()->hasFocus());
    const std::vector<QLineEdit*> edits = Edits();
    for (const PresetRow& preset : kPresets) {
        SCOPED_TRACE(preset.button);
        for (QLineEdit* edit : edits) {
            edit->setText(QStringLiteral("1"));
        }
        defaultSize.clear();
        std::vector<QString> seenAtSignal;
        const auto connection = QObject::connect(&dialog_, &ConfigurationDialog::DefaultSizeChosen,
                                                 [&] { seenAtSignal.push_back(dialog_.DpiEdit()->text()); });
        QTest::mouseClick(Child<QPushButton>(preset.button), Qt::LeftButton);
        QObject::disconnect(connection);
        for (std::size_t i = 0; i < edits.size(); ++i) {
            EXPECT_EQ(edits[i]->text(), QString::fromLatin1(preset.fields[i])) << kFields[i].edit;
        }
        EXPECT_EQ(defaultSize.count(), preset.choosesDefaultSize ? 1 : 0);
        // The fields are already filled when the size is chosen.
        if (preset.choosesDefaultSize) {
            EXPECT_EQ(seenAtSignal, std::vector<QString>{QStringLiteral("72")});
        }
    }
    // The dialog opened with the focus in the first field: only the first click left a field.
    EXPECT_EQ(left.count(), 1);
    EXPECT_TRUE(dialog_.isVisible());
}

TEST_F(ConfigDialogTest, TheHelpPageListsWhatEachPresetButtonFills) {
    QFile page(QStringLiteral(":/help/configuration.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    const QRegularExpression row(QStringLiteral(
        "<tr><td>([A-Za-z "
        "]+)</td><td>(\\d+)</td><td>(\\d+)</td><td>(\\d+)</td><td>(\\d+)</td><td>(\\d+)</td>"));
    int rows = 0;
    auto matches = row.globalMatch(html);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        SCOPED_TRACE(match.captured(1).toStdString());
        QPushButton* button = nullptr;
        for (QPushButton* candidate : dialog_.findChildren<QPushButton*>()) {
            if (candidate->text() == match.captured(1)) {
                button = candidate;
            }
        }
        ASSERT_NE(button, nullptr);
        button->click();
        const std::vector<QLineEdit*> edits = Edits();
        for (std::size_t i = 0; i < edits.size(); ++i) {
            EXPECT_EQ(edits[i]->text(), match.captured(static_cast<int>(i) + 2));
        }
        ++rows;
    }
    EXPECT_EQ(rows, 5);
}

TEST_F(ConfigDialogTest, LeavingAFieldIsReportedButHidingTheDialogIsNot) {
    QSignalSpy left(&dialog_, &ConfigurationDialog::FieldLeft);
    ShowActive();
    dialog_.ObservationDistanceEdit()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog_.ObservationDistanceEdit()->hasFocus(); }));
    QTest::keyClick(dialog_.ObservationDistanceEdit(), Qt::Key_Tab);
    EXPECT_TRUE(dialog_.MaxDepthEdit()->hasFocus());
    EXPECT_EQ(left.count(), 1);

    // A click on a preset takes the focus from the field before the preset fills it.
    std::vector<QString> distanceAtSignal;
    QObject::connect(&dialog_, &ConfigurationDialog::FieldLeft,
                     [&] { distanceAtSignal.push_back(dialog_.ObservationDistanceEdit()->text()); });
    dialog_.ObservationDistanceEdit()->setText(QStringLiteral("30"));
    QTest::mouseClick(Child<QPushButton>("extraDepthButton"), Qt::LeftButton);
    EXPECT_EQ(left.count(), 2);
    EXPECT_EQ(distanceAtSignal, std::vector<QString>{QStringLiteral("30")});
    EXPECT_EQ(dialog_.ObservationDistanceEdit()->text(), QStringLiteral("8"));

    // Tab from the last field to the first preset button leaves a field too.
    dialog_.DpiEdit()->setFocus();
    QTest::keyClick(dialog_.DpiEdit(), Qt::Key_Tab);
    EXPECT_EQ(left.count(), 3);

    // Another window becoming active, and coming back, is not leaving the field.
    dialog_.SeparationEdit()->setFocus();
    ASSERT_TRUE(dialog_.SeparationEdit()->hasFocus());
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    dialog_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    EXPECT_TRUE(dialog_.SeparationEdit()->hasFocus());
    EXPECT_EQ(left.count(), 3);

    dialog_.hide();
    QApplication::processEvents();
    EXPECT_EQ(left.count(), 3);
}

TEST_F(ConfigDialogTest, EscAndCloseOnlyCloseTheDialog) {
    QSignalSpy defaultSize(&dialog_, &ConfigurationDialog::DefaultSizeChosen);
    dialog_.MaxDepthEdit()->setText(QStringLiteral("17"));
    for (const bool useEsc : {true, false}) {
        SCOPED_TRACE(useEsc ? "Esc" : "Close");
        ShowActive();
        if (useEsc) {
            QTest::keyClick(dialog_.MinDepthEdit(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(Child<QPushButton>("closeButton"), Qt::LeftButton);
        }
        EXPECT_FALSE(dialog_.isVisible());
        EXPECT_EQ(dialog_.MaxDepthEdit()->text(), QStringLiteral("17"));
    }
    EXPECT_EQ(defaultSize.count(), 0);
}

TEST_F(ConfigDialogTest, LayoutPutsFieldsLeftPictureRightAndButtonsBelow) {
    ShowActive();
    // Centred on its screen.
    const QPoint screenCentre = dialog_.screen()->availableGeometry().center();
    EXPECT_LE((dialog_.frameGeometry().center() - screenCentre).manhattanLength(), 4);

    const std::vector<QLineEdit*> edits = Edits();
    for (std::size_t i = 1; i < edits.size(); ++i) {
        EXPECT_GT(Global(edits[i]).top(), Global(edits[i - 1]).bottom());
    }
    auto* picture = Child<QLabel>("diagramLabel");
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_GT(Global(picture).left(), Global(edits[0]).right());

    // The rule separates the DPI field from the geometry fields.
    auto* rule = Child<QFrame>("divider");
    ASSERT_NE(rule, nullptr);
    EXPECT_GT(Global(rule).top(), Global(edits[3]).bottom());
    EXPECT_LT(Global(rule).bottom(), Global(edits[4]).top());

    // The bracket ties distance, max depth and separation together and leaves out min depth.
    const std::array<std::pair<const char*, int>, 3> ticks{
        {{"observationDistanceBar", 0}, {"maxDepthBar", 1}, {"separationBar", 3}}};
    auto* bracket = Child<QFrame>("bracketBar");
    ASSERT_NE(bracket, nullptr);
    for (const auto& [name, row] : ticks) {
        auto* tick = Child<QFrame>(name);
        ASSERT_NE(tick, nullptr);
        const QRect field = Global(edits[static_cast<std::size_t>(row)]);
        EXPECT_TRUE(field.contains(field.left(), Global(tick).center().y())) << name;
        EXPECT_GE(Global(tick).left(), field.right()) << name;
        EXPECT_LE(Global(bracket).top(), Global(tick).top()) << name;
        EXPECT_GE(Global(bracket).bottom(), Global(tick).bottom()) << name;
    }
    EXPECT_LT(Global(bracket).bottom(), Global(rule).top());

    // Presets left to right, then Close at the right, all below the fields and the picture.
    int previousRight = -1;
    for (const char* name : {"defaultButton", "moreDepthButton", "extraDepthButton", "highResButton",
                             "flatButton", "closeButton"}) {
        auto* button = Child<QPushButton>(name);
        ASSERT_NE(button, nullptr);
        EXPECT_GT(Global(button).left(), previousRight) << name;
        EXPECT_GT(Global(button).top(), Global(picture).bottom()) << name;
        previousRight = Global(button).right();
    }
    EXPECT_EQ(Child<QPushButton>("defaultButton")->text(), QStringLiteral("Default"));
    EXPECT_EQ(Child<QPushButton>("moreDepthButton")->text(), QStringLiteral("More depth"));
    EXPECT_EQ(Child<QPushButton>("extraDepthButton")->text(), QStringLiteral("Extra depth"));
    EXPECT_EQ(Child<QPushButton>("highResButton")->text(), QStringLiteral("High res"));
    EXPECT_EQ(Child<QPushButton>("flatButton")->text(), QStringLiteral("Flat"));
    EXPECT_EQ(Child<QPushButton>("closeButton")->text(), QStringLiteral("Close"));
    EXPECT_GE(Global(Child<QPushButton>("closeButton")).right(), Global(picture).right() - 20);
}

}  // namespace
}  // namespace vistamaze::test
