#pragma once

#include "workspace/Dialogs.h"

#include <QApplication>
#include <memory>

namespace vistamaze {

// The program's application object. It owns the dialogs implementation that every window uses
// and is the program's default error report: an exception leaving any event handler is caught
// in notify(), its text shown in an error message box through the dialogs, and the program
// carries on.
class VistamazeApplication : public QApplication {
    Q_OBJECT

public:
    // Title "Vistamaze"; the Qt dialogs are installed until SetDialogs replaces them; freed
    // picture-sized blocks are kept for reuse (KeepFreedPictureBlocks). `argc` must outlive the
    // application (QApplication's own contract).
    VistamazeApplication(int& argc, char** argv);
    ~VistamazeApplication() override;

    // The running application, or null when none (or another kind) exists.
    [[nodiscard]] static VistamazeApplication* Instance();
    // The dialogs of the running application; a QtDialogs object when no application of this
    // kind exists (a window used without one, as in a tool).
    [[nodiscard]] static Dialogs& AppDialogs();

    [[nodiscard]] Dialogs& GetDialogs() noexcept { return *dialogs_; }
    // Replaces the dialogs implementation (tests install a scripted one). Null is ignored.
    void SetDialogs(std::unique_ptr<Dialogs> dialogs);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows `text` as the default error report does.
    void ReportError(const QString& text) noexcept;

private:
    std::unique_ptr<Dialogs> dialogs_;
};

}  // namespace vistamaze
