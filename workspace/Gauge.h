#pragma once

#include <QProgressBar>

namespace vistamaze {

// The progress gauge: a black bar on white in a black border, with the percentage centred on it.
// The text is black over the white part and white over the bar, so it stays readable wherever
// the bar ends.
class TGauge : public QProgressBar {
    Q_OBJECT

public:
    explicit TGauge(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vistamaze
