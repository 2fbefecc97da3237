#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QApplication;
class QTextBrowser;
class QToolButton;

namespace vistamaze {

// The page (under qrc:/help/) that a help context number shows: "index.html" for an unknown one.
[[nodiscard]] QString HelpPageOf(int context);

// The help window: a top-level window of its own that shows the help pages compiled into the
// program, with Contents, Back and Forward buttons. Created once and shown as needed; it is
// modeless, except that when it is called up while a modal dialog runs it is shown modal over
// that dialog (otherwise the dialog would keep it from taking input). Closing it then gives that
// dialog back the activation and its focused control, so typing and Esc reach it again.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the window at the table of contents (the "Help" menu item).
    void ShowContents();
    // Shows the window at the page of a help context; an unknown number shows the contents.
    void ShowContext(int context);
    // The page shown, as a qrc: address.
    [[nodiscard]] QUrl CurrentPage() const;

    // Makes F1 anywhere in `app` (also in modal dialogs) show the page of the help context of the
    // focused widget, or else of the active window. The key filter is owned by `app` and does
    // nothing once `help` has been destroyed.
    static void InstallF1(QApplication& app, HelpWindow& help);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void ShowPage(const QString& page);
    void Present();

    QPointer<QWidget> coveredDialog_;  // the modal dialog this window was shown over
    QPointer<QWidget> coveredFocus_;   // its control that had the focus
    QTextBrowser* browser_;
    QToolButton* back_;
    QToolButton* forward_;
};

}  // namespace vistamaze
