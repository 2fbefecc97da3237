#include "workspace/FocusLeave.h"

#include <QEvent>
#include <QFocusEvent>
#include <QWidget>

namespace vistamaze {
namespace {

class FocusLeaveFilter final : public QObject {
public:
    FocusLeaveFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                handler_();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

}  // namespace

void OnFocusLeave(QWidget* control, std::function<void()> handler) {
    control->installEventFilter(new FocusLeaveFilter(control, std::move(handler)));
}

}  // namespace vistamaze
