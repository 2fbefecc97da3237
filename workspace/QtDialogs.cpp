#include "workspace/QtDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <algorithm>

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

// The patterns of a description's last bracket, "JPEG (*.jpeg;*.jpg)" giving *.jpeg and *.jpg;
// empty when the description does not end in a bracket.
QStringList TrailingBracketPatterns(const QString& description) {
    if (!description.endsWith(QLatin1Char(')'))) {
        return {};
    }
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open < 0) {
        return {};
    }
    const QString inside = description.mid(open + 1, description.size() - open - 2);
    return inside.split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
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
        // patterns always go last. A description that already ends in them (in any spelling)
        // loses that bracket, or the dialog would show them twice.
        QString shown = description;
        if (!patterns.isEmpty() && TrailingBracketPatterns(description) == patterns) {
            shown = description.left(description.lastIndexOf(QLatin1Char('('))).trimmed();
        }
        const QString bracketed = QStringLiteral("(") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        filters << (shown.isEmpty() ? bracketed : shown + QLatin1Char(' ') + bracketed);
    }
    return filters;
}

std::optional<QString> QtDialogs::OpenFile(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    Prepare(dialog, request).setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return Run(dialog);
}

QString SuffixOfNameFilter(const QString& nameFilter) {
    const QStringList patterns = TrailingBracketPatterns(nameFilter);
    if (patterns.size() != 1 || !patterns[0].startsWith(QStringLiteral("*."))) {
        return {};
    }
    const QString suffix = patterns[0].mid(2);
    const bool plain = !suffix.isEmpty() && std::none_of(suffix.begin(), suffix.end(), [](QChar c) {
        return c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[') ||
               c == QLatin1Char('.');
    });
    return plain ? suffix : QString();
}

std::optional<QString> QtDialogs::SaveFile(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    Prepare(dialog, request).setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension takes the extension of the type the dialog shows, the
    // one it opens with as well as one the user picks; the request's suffix serves a type that
    // names no single extension.
    const auto followType = [&dialog, &request](const QString& filter) {
        const QString suffix = SuffixOfNameFilter(filter);
        dialog.setDefaultSuffix(suffix.isEmpty() ? request.defaultSuffix : suffix);
    };
    followType(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followType);
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
