#include "workspace/QtDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace vistamaze {

namespace {

QStringList SplitPatterns(const QString& patterns) {
    QStringList result;
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = p.trimmed();
        if (!trimmed.isEmpty()) {
            result << trimmed;
        }
    }
    return result;
}

QFileDialog& Prepare(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(request.caption);
    if (!request.initialFolder.isEmpty()) {
        dialog.setDirectory(request.initialFolder);
    }
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    return dialog;
}

std::optional<QString> Run(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

QStringList QtNameFilters(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QStringList patterns = SplitPatterns(parts[i + 1]);
        if (description.isEmpty() && patterns.isEmpty()) {
            continue;
        }
        // Qt takes the patterns from the last bracket pair of a name filter, so the real
        // patterns always go last; a description already ending in exactly them is kept.
        const QString bracketed = QStringLiteral("(") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        filters << (description.endsWith(bracketed) ? description
                                                    : description + QLatin1Char(' ') + bracketed);
    }
    return filters;
}

std::optional<QString> QtDialogs::OpenFile(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    Prepare(dialog, request).setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return Run(dialog);
}

std::optional<QString> QtDialogs::SaveFile(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    Prepare(dialog, request).setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    return Run(dialog);
}

void QtDialogs::ShowMessage(QWidget* parent, MessageKind kind, const QString& text) {
    const QString title = QApplication::applicationDisplayName();
    switch (kind) {
        case MessageKind::Information:
            QMessageBox::information(parent, title, text);
            break;
        case MessageKind::Warning:
            QMessageBox::warning(parent, title, text);
            break;
        case MessageKind::Error:
            QMessageBox::critical(parent, title, text);
            break;
    }
}

std::optional<QColor> QtDialogs::ChooseColor(QWidget* parent, const QColor& initial) {
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return chosen;
}

std::optional<QFont> QtDialogs::ChooseFont(QWidget* parent, const QFont& initial) {
    bool accepted = false;
    const QFont chosen = QFontDialog::getFont(&accepted, initial, parent);
    if (!accepted) {
        return std::nullopt;
    }
    return chosen;
}

}  // namespace vistamaze
