#pragma once

#include "workspace/Dialogs.h"

#include <QStringList>

namespace vistamaze {

// The dialogs of the running program: Qt's file, colour and font dialogs and QMessageBox.
class QtDialogs final : public Dialogs {
public:
    [[nodiscard]] std::optional<QString> OpenFile(QWidget* parent, const FileDialogRequest& request) override;
    [[nodiscard]] std::optional<QString> SaveFile(QWidget* parent, const FileDialogRequest& request) override;
    void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) override;
    [[nodiscard]] std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) override;
    [[nodiscard]] std::optional<QFont> ChooseFont(QWidget* parent, const QFont& initial) override;
};

// Turns a "description|patterns|description|patterns" filter into Qt name filters
// ("description (patterns)"), one per pair, in order; patterns separated by ";" become
// blank-separated, and a description already ending in that bracket is kept as it is. Empty pairs (as left by
// a trailing "|") and a trailing unpaired part are dropped.
[[nodiscard]] QStringList QtNameFilters(const QString& pipeFilter);

}  // namespace vistamaze
