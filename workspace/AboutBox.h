#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class AboutBox;
}

namespace vistamaze {

// The about box: caption "About", centred on the screen, no system buttons. The black half shows
// the logo and the version (CMake's project version); the white half the links that have a target
// and the licence link. A click anywhere but on a link, or Esc, closes it.
class AboutBox : public QDialog {
    Q_OBJECT

public:
    // `webPage` is what `webLink` ("Documentation") opens; `mail` what `mailLink` opens (a "mailto:"
    // address). A link without a target (LinkHasTarget) is hidden.
    AboutBox(QUrl webPage, QUrl mail, QWidget* parent = nullptr);
    ~AboutBox() override;
    AboutBox(const AboutBox&) = delete;
    AboutBox& operator=(const AboutBox&) = delete;

    // How a link is opened; QDesktopServices::openUrl unless replaced (tests record instead).
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }

protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::AboutBox> ui_;
    QUrl webPage_;
    QUrl mail_;
    std::function<void(const QUrl&)> openUrl_;
};

// Whether a link can open something: a valid address, and for "mailto:" one with an addressee.
[[nodiscard]] bool LinkHasTarget(const QUrl& url);

// The page the about box's web link opens: the project's README next to the program, in an
// installed tree's share folder, or in `sourceTree`, as a local file address (empty if none).
[[nodiscard]] QUrl ProjectPageUrl(const QString& programFolder, const QString& sourceTree);

}  // namespace vistamaze
