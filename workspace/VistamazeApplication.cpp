#include "workspace/VistamazeApplication.h"

#include "workspace/HeapReuse.h"
#include "workspace/QtDialogs.h"

#include <exception>

namespace vistamaze {

VistamazeApplication::VistamazeApplication(int& argc, char** argv)
    : QApplication(argc, argv), dialogs_(std::make_unique<QtDialogs>()) {
    // The name only: a display name would also be appended to every other window's title bar
    // ("About - Vistamaze"), and the display name falls back to it anyway.
    setApplicationName(QStringLiteral("Vistamaze"));
    // Where QSettings keeps the choices remembered between runs.
    setOrganizationName(QStringLiteral("Vistamaze"));
    KeepFreedPictureBlocks();
}

VistamazeApplication::~VistamazeApplication() = default;

VistamazeApplication* VistamazeApplication::Instance() {
    return qobject_cast<VistamazeApplication*>(QCoreApplication::instance());
}

Dialogs& VistamazeApplication::AppDialogs() {
    if (VistamazeApplication* app = Instance()) {
        return app->GetDialogs();
    }
    // Stateless, so one shared instance is no mutable global state.
    static QtDialogs fallback;
    return fallback;
}

void VistamazeApplication::SetDialogs(std::unique_ptr<Dialogs> dialogs) {
    if (dialogs) {
        dialogs_ = std::move(dialogs);
    }
}

bool VistamazeApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

void VistamazeApplication::ReportError(const QString& text) noexcept {
    // The report runs its own event loop (a modal message box); an exception from in there
    // must not escape notify() a second time.
    try {
        dialogs_->ShowMessage(activeWindow(), MessageKind::Error, text);
    } catch (...) {
        qWarning("Vistamaze: %s", qUtf8Printable(text));
    }
}

}  // namespace vistamaze
