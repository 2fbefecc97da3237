#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TfmAvi;
}

namespace vistamaze {

// The animation options dialog: caption "Animation options", modal, centred on the screen it
// opens on each time it is shown, help context 40. It holds no options yet.
class TfmAvi : public QDialog {
    Q_OBJECT

public:
    explicit TfmAvi(QWidget* parent = nullptr);
    ~TfmAvi() override;
    TfmAvi(const TfmAvi&) = delete;
    TfmAvi& operator=(const TfmAvi&) = delete;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfmAvi> ui_;
};

}  // namespace vistamaze
