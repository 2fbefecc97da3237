#include "workspace/HelpContext.h"

#include <QVariant>
#include <QWidget>

namespace vistamaze {
namespace {

constexpr const char* kProperty = "vistamazeHelpContext";

}  // namespace

void SetHelpContext(QWidget* widget, int context) {
    widget->setProperty(kProperty, context == 0 ? QVariant() : QVariant(context));
}

int HelpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        const QVariant value = w->property(kProperty);
        if (value.isValid() && value.toInt() != 0) {
            return value.toInt();
        }
    }
    return 0;
}

}  // namespace vistamaze
