#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <optional>

class QWidget;

namespace vistamaze {

// What a file dialog starts with. `filter` is a list of "description|patterns" pairs joined by
// "|", e.g. "BMP files (*.BMP)|*.BMP|All files|*.*"; patterns of one entry are separated by ";".
struct FileDialogRequest {
    QString caption;
    QString initialFolder;
    QString fileName;
    QString filter;
    // Added to a typed name that has no extension, without the dot ("JPG"), when the type the save
    // dialog shows names no single extension (otherwise that type's extension is added); empty:
    // none.
    QString defaultSuffix;
};

enum class MessageKind { Information, Warning, Error };

// The one way the program shows a modal dialog or a message box. The application owns one
// implementation: the Qt dialogs in the program, a scripted one in tests, so that nothing blocks
// on a real modal dialog there. Every call returns after the user has answered; `parent` may be
// null.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The chosen existing file, or nothing when the user cancels.
    [[nodiscard]] virtual std::optional<QString> OpenFile(QWidget* parent,
                                                          const FileDialogRequest& request) = 0;
    // The chosen file name to write, or nothing when the user cancels.
    [[nodiscard]] virtual std::optional<QString> SaveFile(QWidget* parent,
                                                          const FileDialogRequest& request) = 0;
    // A message box titled with the application's title showing `text` exactly.
    virtual void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) = 0;
    // The chosen colour, or nothing when the user cancels.
    [[nodiscard]] virtual std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) = 0;
    // The chosen font, or nothing when the user cancels.
    [[nodiscard]] virtual std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) = 0;

protected:
    Dialogs() = default;
    Dialogs(const Dialogs&) = default;
    Dialogs& operator=(const Dialogs&) = default;
};

}  // namespace vistamaze
