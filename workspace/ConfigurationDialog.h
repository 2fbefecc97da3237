#pragma once

#include <QDialog>
#include <array>
#include <memory>

class QLineEdit;
class QPushButton;

namespace Ui {
class ConfigurationDialog;
}

namespace vistamaze {

// The configuration dialog: the viewing geometry fields, the geometry presets and an illustration
// of the geometry. Caption "Configuration", centred on the screen, created once and shown modally.
// Help context 100.
//
// The dialog itself never touches the engine: the main window reads observationDistanceEdit..dpiEdit when
// FieldLeft fires (or at its own next apply) and writes them back from the engine. The preset buttons only
// fill the fields. Only digits can be typed into the fields; pasted text is not filtered.
class ConfigurationDialog : public QDialog {
    Q_OBJECT

public:
    explicit ConfigurationDialog(QWidget* parent = nullptr);
    ~ConfigurationDialog() override;
    ConfigurationDialog(const ConfigurationDialog&) = delete;
    ConfigurationDialog& operator=(const ConfigurationDialog&) = delete;

    [[nodiscard]] QLineEdit* ObservationDistanceEdit() const;  // "Observation distance (inch)"
    [[nodiscard]] QLineEdit* MaxDepthEdit() const;             // "Max 3D depth (inch)"
    [[nodiscard]] QLineEdit* MinDepthEdit() const;             // "Min 3D depth (inch)"
    [[nodiscard]] QLineEdit* SeparationEdit() const;  // "Separation (pixels)": shown only, never applied
    [[nodiscard]] QLineEdit* DpiEdit() const;         // "DPI (Display/printer resolution)"

signals:
    // One of observationDistanceEdit..dpiEdit lost the keyboard focus to another control (Tab, click,
    // shortcut). Not emitted when the focus goes because the window was deactivated or hidden, or a popup
    // opened.
    void FieldLeft();
    // "Default" was pressed (after the fields were filled): the size goes back to 800 x 600.
    void DefaultSizeChosen();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The texts a preset writes into observationDistanceEdit..dpiEdit: observation distance, max depth, min
    // depth, separation, DPI.
    using Preset = std::array<const char*, 5>;
    void ApplyPreset(const Preset& preset);
    void CenterOnScreen();

    std::unique_ptr<Ui::ConfigurationDialog> ui_;
};

}  // namespace vistamaze
