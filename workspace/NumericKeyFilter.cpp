#include "workspace/NumericKeyFilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace vistamaze {
namespace {

class NumericKeyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<const QKeyEvent*>(event);
            if (Discards(*key)) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static bool Discards(const QKeyEvent& key) {
        if (key.modifiers().testAnyFlags(Qt::ControlModifier | Qt::MetaModifier)) {
            return false;
        }
        const QString text = key.text();
        for (const QChar c : text) {
            if (c.isPrint() && !(c >= QLatin1Char('0') && c <= QLatin1Char('9'))) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace

void InstallNumericKeyFilter(QLineEdit* edit) {
    edit->installEventFilter(new NumericKeyFilter(edit));
}

}  // namespace vistamaze
