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
// blank-separated. A description that already ends in a bracket of the same patterns ("JPEG
// (*.jpeg;*.jpg)") loses it, so each pattern shows once. Empty pairs (as left by a trailing "|")
// and a trailing unpaired part are dropped.
[[nodiscard]] QStringList QtNameFilters(const QString& pipeFilter);

// The extension a Qt name filter of exactly one plain pattern stands for, without the dot:
// "PNG files (*.PNG)" gives "PNG"; several patterns or a wildcard ("*.*") give an empty string.
// The save dialog adds it to a name typed without extension once the user chose that type.
[[nodiscard]] QString SuffixOfNameFilter(const QString& nameFilter);

}  // namespace vistamaze
