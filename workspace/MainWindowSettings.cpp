#include "output/PictureResolution.h"
#include "ui_MainWindow.h"
#include "workspace/ConfigurationDialog.h"
#include "workspace/FocusLeave.h"
#include "workspace/MainWindow.h"
#include "workspace/NumericKeyFilter.h"
#include "workspace/RememberedChoices.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <array>
#include <optional>

// The settings controls: the size and resolution menus, the numeric fields and the groups, and
// their two-way copy to the engine.

namespace vistamaze {
namespace {

struct SizeItem {
    const char* caption;  // nullptr: a separator
    int width;
    int height;
};

constexpr std::array kSizeItems{
    SizeItem{" 320 x 200", 320, 200},
    SizeItem{" 400 x 300", 400, 300},
    SizeItem{nullptr, 0, 0},
    SizeItem{" 640 x 480", 640, 480},
    SizeItem{" 800 x 600", 800, 600},
    SizeItem{nullptr, 0, 0},
    SizeItem{"1000 x 760", 1000, 760},
    SizeItem{"1024 x 768", 1024, 768},
    SizeItem{nullptr, 0, 0},
    SizeItem{"1200 x 900", 1200, 900},
    SizeItem{"1400 x 900", 1400, 900},
    SizeItem{"1920 x 1080", 1920, 1080},
    SizeItem{"1600 x 1200", 1600, 1200},
    SizeItem{"2000 x 1600", 2000, 1600},
    SizeItem{"2560 x 1080", 2560, 1080},
    SizeItem{"2560 x 1440", 2560, 1440},
    SizeItem{"3000 x 2000", 3000, 2000},
    SizeItem{"3840 x 2160", 3840, 2160},
    SizeItem{"4096 x 2160", 4096, 2160},
};

struct DpiItem {
    const char* caption;
    int dpi;
};

constexpr std::array kDpiItems{
    DpiItem{"30 DPI  (poster - change observation distance)", 30},
    DpiItem{"75 DPI  (monitor - low depth stereogram)", 75},
    DpiItem{"100 DPI (medium depth stereogram)", 100},
    DpiItem{"120 DPI (high depth stereogram)", 120},
    DpiItem{"150 DPI  (printer - adequate printing resolution)", 150},
    DpiItem{"200 DPI", 200},
    DpiItem{"300 DPI  (high quality print)", 300},
};

void SetItemIndex(QButtonGroup* group, int index) {
    if (QAbstractButton* button = group->button(index)) {
        button->setChecked(true);
    }
}

// Numbers in the fields follow the user's locale for the decimal separator, without grouping.
QLocale FieldLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

std::optional<double> FieldFloat(const QString& text) {
    bool ok = false;
    const double value = FieldLocale().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<int> FieldInteger(const QString& text) {
    return ParseWholeNumber(text.toStdString());
}

QString FloatText(double value) {
    return FieldLocale().toString(value, 'g', 15);
}

}  // namespace

void MainWindow::ConnectSettings() {
    for (QButtonGroup* group :
         {kindButtons_, blurButtons_, dotColorButtons_, oversamplingButtons_, geometryButtons_}) {
        connect(group, &QButtonGroup::idClicked, this, [this] { SettingsChanged(); });
    }
    ui_->guideDotsCheck->setChecked(RememberedChoice(choice::kGuideDots, false));
    engine_.SetGuideDots(ui_->guideDotsCheck->isChecked());
    connect(ui_->guideDotsCheck, &QCheckBox::toggled, this, [this](bool on) {
        RememberChoice(choice::kGuideDots, on);
        SettingsChanged();
    });
    connect(ui_->intensitySlider, &QSlider::valueChanged, this, [this](int value) {
        ui_->intensityLabel->setText(QString::number(value));
        SettingsChanged();
    });
    constexpr int kSizeTypedLength = 4;
    InstallNumericKeyFilter(ui_->widthEdit, kSizeTypedLength);
    InstallNumericKeyFilter(ui_->heightEdit, kSizeTypedLength);
    InstallNumericKeyFilter(ui_->dpiEdit);
    for (QWidget* control : std::initializer_list<QWidget*>{ui_->widthEdit, ui_->heightEdit, ui_->dpiEdit,
                                                            ui_->stretchTextureCheck}) {
        OnFocusLeave(control, [this] { SettingsChanged(); });
    }
    connect(ui_->sizesButton, &QToolButton::clicked, this, [this] { sizeMenu_->popup(QCursor::pos()); });
    connect(ui_->resolutionsButton, &QToolButton::clicked, this, [this] { dpiMenu_->popup(QCursor::pos()); });
}

void MainWindow::BuildPopupMenus() {
    sizeMenu_ = new QMenu(this);
    sizeMenu_->setObjectName(QStringLiteral("sizeMenu"));
    for (const SizeItem& item : kSizeItems) {
        if (item.caption == nullptr) {
            sizeMenu_->addSeparator();
            continue;
        }
        connect(sizeMenu_->addAction(QString::fromLatin1(item.caption)), &QAction::triggered, this,
                [this, item] { SetSize(item.width, item.height); });
    }
    dpiMenu_ = new QMenu(this);
    dpiMenu_->setObjectName(QStringLiteral("dpiMenu"));
    for (const DpiItem& item : kDpiItems) {
        connect(dpiMenu_->addAction(QString::fromLatin1(item.caption)), &QAction::triggered, this,
                [this, item] {
                    SetDpiText(QString::number(item.dpi));
                    SettingsChanged();
                });
    }
}

QString MainWindow::DpiText() const {
    return ui_->dpiEdit->text();
}

void MainWindow::SetSize(int width, int height) {
    ui_->widthEdit->setText(QString::number(width));
    ui_->heightEdit->setText(QString::number(height));
    TakeFocusAway();
    SettingsChanged();
}

int MainWindow::StereoTypeItem() const {
    return kindButtons_->checkedId();
}

void MainWindow::ChooseStereoTypeItem(int item) {
    if (QAbstractButton* button = kindButtons_->button(item)) {
        button->click();
    }
}

int MainWindow::OversamplingItem() const {
    return oversamplingButtons_->checkedId();
}

void MainWindow::ChooseOversamplingItem(int item) {
    if (QAbstractButton* button = oversamplingButtons_->button(item)) {
        button->click();
    }
}

void MainWindow::ShowMovieSize(int width, int height) {
    ui_->widthEdit->setText(QString::number(width));
    ui_->heightEdit->setText(QString::number(height));
    engine_.SetWidth(width);
    engine_.SetHeight(height);
}

void MainWindow::SetDpiText(const QString& text) {
    ui_->dpiEdit->setText(text);
}

void MainWindow::SettingsChanged() {
    const int typeItem = kindButtons_->checkedId();
    if (previousTypeItem_ != 2 && typeItem == 2) {
        SetItemIndex(oversamplingButtons_, 3);
    }
    previousTypeItem_ = typeItem;
    ApplySettingsToEngine();
    ShowEngineSettings();
}

void MainWindow::ApplySettingsToEngine() {
    engine_.SetStereoType(static_cast<StereogramKind>(std::max(0, kindButtons_->checkedId())));
    engine_.SetBlur(static_cast<BlurLevel>(std::max(0, blurButtons_->checkedId())));
    engine_.SetDotIntensity(ui_->intensitySlider->value());
    engine_.SetRandomDotColor(static_cast<RandomDotColors>(std::max(0, dotColorButtons_->checkedId())));
    engine_.SetOversampling(oversamplingButtons_->checkedId() + 1);
    engine_.SetGuideDots(ui_->guideDotsCheck->isChecked());
    if (!ApplyFields()) {
        return;  // a field holding no number ends the apply here, without a message
    }
    engine_.SetConverging(geometryButtons_->checkedId() != 0);
    engine_.SetStretchTexture(ui_->stretchTextureCheck->isChecked());
}

// The numeric fields in their fixed order: observation distance, maximum and minimum depth, DPI
// (before the size, so a new DPI is clamped against the previous size), height, width. Empty
// fields are skipped; false at the first field that is not a number.
bool MainWindow::ApplyFields() {
    const auto applyFloat = [](const QLineEdit* edit, auto setter) {
        if (edit->text().isEmpty()) {
            return true;
        }
        const std::optional<double> value = FieldFloat(edit->text());
        if (value) {
            setter(*value);
        }
        return value.has_value();
    };
    const auto applyInteger = [](const QLineEdit* edit, auto setter) {
        if (edit->text().isEmpty()) {
            return true;
        }
        const std::optional<int> value = FieldInteger(edit->text());
        if (value) {
            setter(*value);
        }
        return value.has_value();
    };
    Stereogram& engine = engine_;
    if (const ConfigurationDialog* config = partners_.config) {
        if (!applyFloat(config->ObservationDistanceEdit(), [&](double v) { engine.SetObservDistance(v); }) ||
            !applyFloat(config->MaxDepthEdit(), [&](double v) { engine.SetMax3Ddepth(v); }) ||
            !applyFloat(config->MinDepthEdit(), [&](double v) { engine.SetMin3Ddepth(v); }) ||
            !applyInteger(config->DpiEdit(), [&](int v) { engine.SetDPI(v); })) {
            return false;
        }
    }
    return applyInteger(ui_->heightEdit, [&](int v) { engine.SetHeight(v); }) &&
           applyInteger(ui_->widthEdit, [&](int v) { engine.SetWidth(v); });
}

void MainWindow::ShowEngineSettings() {
    const Stereogram& engine = engine_;
    const int typeItem = static_cast<int>(engine.StereoType());
    if (kindButtons_->checkedId() != typeItem) {
        // A changed type item is a click on the group: its handler applies every control first.
        SetItemIndex(kindButtons_, typeItem);
        SettingsChanged();
    }
    SetItemIndex(blurButtons_, static_cast<int>(engine.Blur()));
    {
        const QSignalBlocker blocker(ui_->intensitySlider);
        ui_->intensitySlider->setValue(engine.DotIntensity());
        ui_->intensityLabel->setText(QString::number(ui_->intensitySlider->value()));
    }
    SetItemIndex(dotColorButtons_, static_cast<int>(engine.RandomDotColor()));
    SetItemIndex(oversamplingButtons_, engine.Oversampling() - 1);
    {
        const QSignalBlocker blocker(ui_->guideDotsCheck);
        ui_->guideDotsCheck->setChecked(engine.GuideDots());
    }
    if (const ConfigurationDialog* config = partners_.config) {
        config->ObservationDistanceEdit()->setText(FloatText(engine.ObservDistance()));
        config->MaxDepthEdit()->setText(FloatText(engine.Max3Ddepth()));
        config->MinDepthEdit()->setText(FloatText(engine.Min3Ddepth()));
        config->SeparationEdit()->setText(QString::number(engine.Separation()));
    }
    ui_->heightEdit->setText(QString::number(engine.Height()));
    ui_->widthEdit->setText(QString::number(engine.Width()));
    ShowDepthImage();
    ShowTextureSize();
}

}  // namespace vistamaze
