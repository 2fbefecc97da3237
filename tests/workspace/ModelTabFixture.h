#pragma once

#include "scene3d/SceneView.h"
#include "tests/workspace/ProgramFixture.h"
#include "workspace/ModelTab.h"

#include <QAction>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QWheelEvent>
#include <optional>

namespace vistamaze::test {

// The program's windows with helpers for the "3D model" tab: its controls by name, opening the
// tab, loading a model through the dialog, drags and wheel turns, and waiting for the captures.
class ModelTabFixture : public ProgramFixture {
protected:
    [[nodiscard]] ModelTab& Tab() const { return Main().ModelPage(); }
    [[nodiscard]] QSlider* Slider(const char* name) const { return Find<QSlider>(Tab(), name); }
    [[nodiscard]] QAbstractButton* Button(const char* name) const {
        return Find<QAbstractButton>(Tab(), name);
    }
    [[nodiscard]] SceneView& View() const { return Tab().SceneViewer(); }
    [[nodiscard]] QAction* Command(const char* name) const { return Find<QAction>(Main(), name); }

    // Clicks the "3D model" tab and waits for its captures to settle.
    void OpenTab() {
        auto* tabs = Find<QTabWidget>(Main(), "tabs");
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(0).center());
        Settle();
    }
    // Waits until no capture has come for a while.
    void Settle() const {
        QSignalSpy spy(&Tab(), &ModelTab::DepthPublished);
        while (spy.wait(300)) {
        }
    }
    void LoadModel(const std::optional<QString>& file) {
        dialogs_->QueueOpenFile(file);
        auto* toolbar = Find<QToolBar>(Main(), "toolBar");
        QTest::mouseClick(toolbar->widgetForAction(Command("openModelButton")), Qt::LeftButton);
        Settle();
    }
    // A press at `from`, then one move to `to` with the button held.
    static void Drag(QWidget* view, QPoint from, QPoint to, Qt::MouseButton button,
                     Qt::KeyboardModifiers keys = {}) {
        QMouseEvent press(QEvent::MouseButtonPress, from, view->mapToGlobal(from), button, button, keys);
        QApplication::sendEvent(view, &press);
        QMouseEvent move(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, button, keys);
        QApplication::sendEvent(view, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, view->mapToGlobal(to), button, Qt::NoButton,
                            keys);
        QApplication::sendEvent(view, &release);
    }
    static void Wheel(QWidget* target, int delta) {
        const QPoint at(target->width() / 2, target->height() / 2);
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }
    [[nodiscard]] SceneObject& Moving() const { return *Tab().Scene().navigator.MovingObject(); }
};

}  // namespace vistamaze::test
