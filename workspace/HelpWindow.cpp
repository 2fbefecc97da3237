#include "workspace/HelpWindow.h"

#include "workspace/GuiResources.h"
#include "workspace/HelpContext.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <utility>

namespace vistamaze {
namespace {

constexpr const char* kHelpRoot = "qrc:/help/";

class F1Filter final : public QObject {
public:
    F1Filter(HelpWindow& help, QObject* parent) : QObject(parent), help_(&help) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || help_.isNull()) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) {
            return QObject::eventFilter(watched, event);
        }
        const QWidget* source = QApplication::focusWidget();
        if (source == nullptr) {
            source = QApplication::activeWindow();
        }
        if (source == nullptr) {
            source = qobject_cast<const QWidget*>(watched);
        }
        help_->ShowContext(HelpContextOf(source));
        return true;
    }

private:
    QPointer<HelpWindow> help_;
};

QToolButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setObjectName(name);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

}  // namespace

QString HelpPageOf(int context) {
    static constexpr std::array<std::pair<int, const char*>, 6> kPages{{
        {kHelpAnimation, "animation.html"},
        {kHelpConfiguration, "configuration.html"},
        {kHelpPreview, "preview.html"},
        {kHelpMainWindow, "main-window.html"},
        {kHelpStereogramTab, "stereogram-tab.html"},
        {kHelpModelTab, "model-tab.html"},
    }};
    for (const auto& [number, page] : kPages) {
        if (number == context) {
            return QString::fromLatin1(page);
        }
    }
    return QStringLiteral("index.html");
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    InitGuiResources();
    setWindowTitle(QStringLiteral("Vistamaze Help"));
    resize(760, 600);

    auto* contents = MakeButton(QStringLiteral("Contents"), QStringLiteral("bContents"), this);
    back_ = MakeButton(QStringLiteral("Back"), QStringLiteral("bBack"), this);
    forward_ = MakeButton(QStringLiteral("Forward"), QStringLiteral("bForward"), this);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    // Pages of our own open here; web addresses go to the user's browser.
    browser_->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back_);
    buttons->addWidget(forward_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    connect(contents, &QToolButton::clicked, this, [this] { ShowPage(HelpPageOf(0)); });
    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Vistamaze Help")
                                       : QStringLiteral("Vistamaze Help - ") + title);
    });
    back_->setEnabled(false);
    forward_->setEnabled(false);
}

void HelpWindow::ShowContents() {
    ShowPage(HelpPageOf(0));
    Present();
}

void HelpWindow::ShowContext(int context) {
    ShowPage(HelpPageOf(context));
    Present();
}

QUrl HelpWindow::CurrentPage() const {
    return browser_->source();
}

void HelpWindow::ShowPage(const QString& page) {
    const QUrl url(QString::fromLatin1(kHelpRoot) + page);
    if (browser_->source() != url) {
        browser_->setSource(url);
    }
}

void HelpWindow::Present() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) {
        coveredDialog_ = modal;
        coveredFocus_ = modal->focusWidget();
    }
    Qt::WindowModality wanted = modal != nullptr ? Qt::ApplicationModal : Qt::NonModal;
    if (modal == this) {
        wanted = windowModality();
    }
    if (windowModality() != wanted) {
        // Modality can only change while the window is hidden.
        hide();
        setWindowModality(wanted);
    }
    show();
    raise();
    activateWindow();
}

void HelpWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (coveredDialog_.isNull()) {
        return;
    }
    // The window system does not hand the activation back to a dialog that a modal window
    // covered: without this it would ignore the keyboard until clicked. Once this window has
    // left the modal stack (after the hide), the dialog is active and focused again.
    QTimer::singleShot(0, coveredDialog_.data(), [dialog = coveredDialog_, focus = coveredFocus_] {
        if (dialog.isNull() || !dialog->isVisible()) {
            return;
        }
        dialog->raise();
        dialog->activateWindow();
        if (!focus.isNull() && focus->isVisible()) {
            focus->setFocus(Qt::ActiveWindowFocusReason);
        }
    });
    coveredDialog_.clear();
    coveredFocus_.clear();
}

void HelpWindow::InstallF1(QApplication& app, HelpWindow& help) {
    app.installEventFilter(new F1Filter(help, &app));
}

}  // namespace vistamaze
