#include "workspace/AboutBox.h"

#include "ui_AboutBox.h"
#include "vistamaze/Version.h"
#include "workspace/GuiResources.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

namespace vistamaze {
namespace {

// What `licenceLink` opens: the GNU General Public License, version 3, under which (or any later
// version) the program is free software.
QUrl LicenceUrl() {
    return QUrl(QStringLiteral("https://www.gnu.org/licenses/gpl-3.0.html"));
}

}  // namespace

AboutBox::AboutBox(QUrl webPage, QUrl mail, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      webPage_(std::move(webPage)),
      mail_(std::move(mail)),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    InitGuiResources();
    ui_ = std::make_unique<Ui::AboutBox>();
    ui_->setupUi(this);
    ui_->webLink->installEventFilter(this);
    ui_->mailLink->installEventFilter(this);
    ui_->licenceLink->installEventFilter(this);
    // A link with nowhere to go is not offered: no documentation found, no mail address.
    ui_->webLink->setVisible(!webPage_.isEmpty());
    ui_->mailLink->setVisible(LinkHasTarget(mail_));
}

AboutBox::~AboutBox() = default;

void AboutBox::showEvent(QShowEvent* event) {
    ui_->versionLabel->setText(QString::fromLatin1(kVersionInWords));
    QDialog::showEvent(event);
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
    event->accept();
    accept();
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress) {
        return QDialog::eventFilter(watched, event);
    }
    // A press on a link opens it and must not reach the box, which would close.
    if (watched == ui_->webLink) {
        openUrl_(webPage_);
        return true;
    }
    if (watched == ui_->mailLink) {
        openUrl_(mail_);
        return true;
    }
    if (watched == ui_->licenceLink) {
        openUrl_(LicenceUrl());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool LinkHasTarget(const QUrl& url) {
    if (url.isEmpty() || !url.isValid()) {
        return false;
    }
    if (url.scheme() == QStringLiteral("mailto")) {
        return !url.path().trimmed().isEmpty();
    }
    return true;
}

QUrl ProjectPageUrl(const QString& programFolder, const QString& sourceTree) {
    QStringList candidates{QDir(programFolder).filePath(QStringLiteral("README.md")),
                           QDir(programFolder).filePath(QStringLiteral("../share/vistamaze/README.md"))};
    if (!sourceTree.isEmpty()) {
        candidates << QDir(sourceTree).filePath(QStringLiteral("README.md"));
    }
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QUrl::fromLocalFile(QFileInfo(candidate).absoluteFilePath());
        }
    }
    return {};
}

}  // namespace vistamaze
