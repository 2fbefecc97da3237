#pragma once

#include <QProgressBar>

namespace vistamaze {

// The progress gauge: a bar in the palette's highlight colour on the base colour in a border of
// the text colour, with the percentage centred on it. The text is in the text colour over the
// base and in the highlighted-text colour over the bar, so it stays readable wherever the bar
// ends.
class Gauge : public QProgressBar {
    Q_OBJECT

public:
    explicit Gauge(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vistamaze
