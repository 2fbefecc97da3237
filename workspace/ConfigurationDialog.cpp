#include "workspace/ConfigurationDialog.h"

#include "ui_ConfigurationDialog.h"
#include "workspace/GuiResources.h"
#include "workspace/HelpContext.h"
#include "workspace/NumericKeyFilter.h"

#include <QFocusEvent>
#include <QScreen>

namespace vistamaze {

ConfigurationDialog::ConfigurationDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    InitGuiResources();
    ui_ = std::make_unique<Ui::ConfigurationDialog>();
    ui_->setupUi(this);
    SetHelpContext(this, kHelpConfiguration);
    // Four typed characters, as the fields are wide; values the program writes back show in full.
    constexpr int kTypedLength = 4;
    for (QLineEdit* edit :
         {ObservationDistanceEdit(), MaxDepthEdit(), MinDepthEdit(), SeparationEdit(), DpiEdit()}) {
        InstallNumericKeyFilter(edit, kTypedLength);
        edit->installEventFilter(this);
    }

    static constexpr Preset kDefault{"14", "14", "8", "90", "72"};
    static constexpr Preset kMoreDepth{"10", "14", "8", "105", "75"};
    static constexpr Preset kExtraDepth{"8", "20", "8", "134", "75"};
    static constexpr Preset kHighRes{"20", "20", "10", "250", "200"};
    static constexpr Preset kFlat{"20", "15", "10", "80", "75"};
    connect(ui_->defaultButton, &QPushButton::clicked, this, [this] {
        ApplyPreset(kDefault);
        emit DefaultSizeChosen();
    });
    connect(ui_->moreDepthButton, &QPushButton::clicked, this, [this] { ApplyPreset(kMoreDepth); });
    connect(ui_->extraDepthButton, &QPushButton::clicked, this, [this] { ApplyPreset(kExtraDepth); });
    connect(ui_->highResButton, &QPushButton::clicked, this, [this] { ApplyPreset(kHighRes); });
    connect(ui_->flatButton, &QPushButton::clicked, this, [this] { ApplyPreset(kFlat); });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

ConfigurationDialog::~ConfigurationDialog() = default;

QLineEdit* ConfigurationDialog::ObservationDistanceEdit() const {
    return ui_->observationDistanceEdit;
}
QLineEdit* ConfigurationDialog::MaxDepthEdit() const {
    return ui_->maxDepthEdit;
}
QLineEdit* ConfigurationDialog::MinDepthEdit() const {
    return ui_->minDepthEdit;
}
QLineEdit* ConfigurationDialog::SeparationEdit() const {
    return ui_->separationEdit;
}
QLineEdit* ConfigurationDialog::DpiEdit() const {
    return ui_->dpiEdit;
}

void ConfigurationDialog::ApplyPreset(const Preset& preset) {
    const std::array<QLineEdit*, 5> edits{ObservationDistanceEdit(), MaxDepthEdit(), MinDepthEdit(),
                                          SeparationEdit(), DpiEdit()};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        edits[i]->setText(QString::fromLatin1(preset[i]));
    }
}

void ConfigurationDialog::showEvent(QShowEvent* event) {
    CenterOnScreen();
    QDialog::showEvent(event);
}

void ConfigurationDialog::CenterOnScreen() {
    const QScreen* target = screen();
    if (target == nullptr) {
        return;
    }
    adjustSize();
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

bool ConfigurationDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto* focus = static_cast<const QFocusEvent*>(event);
        // Deactivation, hiding and popups take the focus only for a while: the user has not
        // left the field, so nothing is applied.
        const bool leftField = focus->reason() != Qt::ActiveWindowFocusReason &&
                               focus->reason() != Qt::PopupFocusReason && isVisible();
        if (leftField) {
            emit FieldLeft();
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vistamaze
