#include "workspace/NumericKeyFilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace vistamaze {
namespace {

class NumericKeyFilter final : public QObject {
public:
    NumericKeyFilter(QLineEdit* edit, int maxTypedLength) : QObject(edit), maxTypedLength_(maxTypedLength) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<const QKeyEvent*>(event);
            if (Discards(*key, qobject_cast<const QLineEdit*>(watched))) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool Discards(const QKeyEvent& key, const QLineEdit* edit) const {
        if (key.modifiers().testAnyFlags(Qt::ControlModifier | Qt::MetaModifier)) {
            return false;
        }
        const QString text = key.text();
        qsizetype typed = 0;
        for (const QChar c : text) {
            if (!c.isPrint()) {
                continue;
            }
            if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9'))) {
                return true;
            }
            ++typed;
        }
        if (typed == 0 || maxTypedLength_ <= 0 || edit == nullptr) {
            return false;
        }
        // Typing replaces the selection, so the selected characters do not count.
        const qsizetype kept = edit->text().size() - edit->selectedText().size();
        return kept + typed > maxTypedLength_;
    }

    int maxTypedLength_;
};

}  // namespace

void InstallNumericKeyFilter(QLineEdit* edit, int maxTypedLength) {
    edit->installEventFilter(new NumericKeyFilter(edit, maxTypedLength));
}

}  // namespace vistamaze
