#pragma once

#include <QDoubleSpinBox>
#include <QLocale>
#include <QSpinBox>
#include <algorithm>
#include <type_traits>

namespace vistamaze {

// A spin edit that never keeps text it cannot read: when editing ends (Enter, focus leaving)
// with a text that is empty or not a number, the field reads as its minimum and shows it. A
// number outside the range is brought to the nearest end of it. No message is shown.
template <typename SpinBox>
class MinimumWhenUnreadable : public SpinBox {
public:
    using SpinBox::SpinBox;

    void fixup(QString& input) const override {
        SpinBox::fixup(input);
        QString number = input;
        number.remove(this->locale().groupSeparator());
        bool ok = false;
        const double parsed = this->locale().toDouble(number.trimmed(), &ok);
        const double value = ok ? std::clamp(parsed, static_cast<double>(this->minimum()),
                                             static_cast<double>(this->maximum()))
                                : static_cast<double>(this->minimum());
        input = TextOf(value);
    }

private:
    [[nodiscard]] QString TextOf(double value) const {
        if constexpr (std::is_same_v<SpinBox, QSpinBox>) {
            return this->textFromValue(static_cast<int>(value));
        } else {
            return this->textFromValue(value);
        }
    }
};

// Whole-number spin edit (`offsetXField`, `cropLeftField`, ...).
using SpinEdit = MinimumWhenUnreadable<QSpinBox>;
// Spin edit with decimals (`textureScaleField`).
using FloatSpinEdit = MinimumWhenUnreadable<QDoubleSpinBox>;

}  // namespace vistamaze
