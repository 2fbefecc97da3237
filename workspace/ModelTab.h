#pragma once

#include "engine/PixelBuffer.h"
#include "importer/ModelImporter.h"
#include "scene3d/DepthBuffer.h"
#include "scene3d/DepthMapping.h"
#include "scene3d/Scene3d.h"
#include "workspace/LiveStereogram.h"
#include "workspace/ProgramFolders.h"

#include <QColor>
#include <QWidget>
#include <memory>
#include <optional>

class QSlider;
class QTimer;

namespace Ui {
class ModelTab;
}

namespace vistamaze {

class DepthView;
class OffscreenView;
class SceneView;

// What the "3D model" tab asks of the main window, which owns the engine and the other tab.
class ModelTabHost {
public:
    virtual ~ModelTabHost() = default;

    // A published capture (24-bit, bottom-up): it becomes the "Stereogram" tab's depth image and
    // the engine's depth map, and the render and animation commands are enabled.
    virtual void PublishDepthMap(const PixelBuffer& depthImage) = 0;
    // The model dialog was closed: the render and animation commands are enabled.
    virtual void EnableModelCommands() = 0;
    // The DPI field's text: the resolution that saved pictures carry.
    [[nodiscard]] virtual QString DpiText() const = 0;
    // A note in the main window's status bar; an empty text clears it.
    virtual void ShowStatusNote(const QString& text) = 0;
    // The engine whose settings and prepared texture the stereogram view copies (the main window's
    // own). The tab reads it only while it is not rendering.
    [[nodiscard]] virtual const Stereogram& StereogramSettings() const = 0;

protected:
    ModelTabHost() = default;
    ModelTabHost(const ModelTabHost&) = default;
    ModelTabHost& operator=(const ModelTabHost&) = default;
};

// Where a large depth map goes.
enum class ExportTarget { File, Clipboard };

// The "3D model" tab: the 3D view of one model or line of 3D text with its scale, focus, move
// and text controls; the depth view beside it with the depth sliders and exports. After every
// redraw of the 3D view a one-shot 1 ms timer captures the view's depth buffer into a grey depth
// map (white nearest, black background) and publishes it through the host. The depth view shows
// that depth map or, switched to "Stereogram" (remembered between runs), the stereogram made from
// it at the depth view's size with the host's settings; in depth map mode no stereogram is made.
class ModelTab : public QWidget {
    Q_OBJECT

public:
    ModelTab(ModelTabHost& host, const ProgramFolders& folders, QWidget* parent = nullptr);
    ~ModelTab() override;
    ModelTab(const ModelTab&) = delete;
    ModelTab& operator=(const ModelTab&) = delete;

    // The main window's first show: the scale slider takes the focal length (truncated) and the
    // depth reader is linked to the 3D view.
    void PrepareFirstShow();

    // The model dialog, then the model framed in the view and the view reset. The render
    // commands are enabled when the dialog closes, also when it was cancelled, but not when the
    // file could not be loaded: the reader's error propagates.
    void LoadModel();
    // Reads `file` in the model importer, then puts it into the mesh, frames it and resets the
    // view (what the dialog's choice does). The importer's error propagates, and then the model,
    // the view, the sliders and the depth view stay as they were.
    void LoadModelFile(const QString& file);

    // Reads the linked view's depth buffer into DepthImage() and, unless output is suppressed,
    // publishes it. Does nothing while a capture runs.
    void CaptureDepthMap();
    // Asks for one capture after the pending events (several requests give one capture).
    void RefreshView();
    // Drops a capture still asked for: for a caller that has just captured the redraw itself.
    void CancelPendingCapture();
    // While held (an animation drawing the scene ahead of the engine), CaptureDepthMap keeps its
    // depth image without publishing it and the captures that redraws ask for are dropped;
    // PublishCapture hands the kept image on when its frame's turn comes; with `show` false the
    // depth view takes it without asking for a paint.
    void SetHoldCaptures(bool on) noexcept { holdCaptures_ = on; }
    void PublishCapture(bool show) { Publish(show); }

    // The depth view's choice: the stereogram of each capture, or the depth map itself.
    void ShowStereogram(bool on);
    [[nodiscard]] bool StereogramShown() const noexcept;

    void ResetView();
    void ResetDepthSliders();
    void ChangeText();
    void ChooseTextFont();
    void ChooseBackgroundColor();

    // Exports: depth map at the view's size, at the off-screen size to a file or the clipboard,
    // and the colour picture of the scene. Cancelled dialogs write nothing; the camera, the
    // reader and the flags are restored and a normal capture follows, also after an error.
    void SaveDepthMap();
    void ExportLargeDepthMap(ExportTarget target);
    void SaveScenePicture();

    [[nodiscard]] Scene3d& Scene() noexcept { return *scene_; }
    [[nodiscard]] SceneView& SceneViewer() const noexcept;
    [[nodiscard]] DepthView& DepthPane() const noexcept;
    [[nodiscard]] const PixelBuffer& DepthImage() const noexcept { return depthImage_; }
    [[nodiscard]] const DepthRange& CurrentDepthRange() const noexcept { return depthRange_; }
    [[nodiscard]] const DepthBuffer& DepthReader() const noexcept { return zBuffer_; }
    // While set, captures reuse the grey scale of the last unfrozen capture.
    void SetFreezeDepthRange(bool on) noexcept { freezeDepthRange_ = on; }
    [[nodiscard]] QColor BackgroundColor() const noexcept { return backgroundColor_; }
    [[nodiscard]] QSlider* Slider(const char* name) const;

signals:
    // The "Render Animation" button.
    void RenderAnimationRequested();
    // A capture was published (depth view, depth image, engine).
    void DepthPublished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOutHeaders();
    void ConnectControls();
    void SceneChanged();
    void CaptureAfterRedraw();
    void Publish(bool show = true);
    // Puts the depth image, or the stereogram made from it, on the depth view.
    void ShowCapture(bool show);
    void EnableCommands();
    void MoveCameraFromSliders();
    void ReportMissingGlyphs();
    void MouseDown(const QPoint& pos);
    void MouseMove(const QPoint& pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void MouseWheel(int delta);
    [[nodiscard]] OffscreenView& MemoryViewer();
    // Runs `body` with the off-screen focal length (the 3D view's framing at 1600 pixels wide),
    // then restores the focal length, the reader's link and the output, and captures again.
    template <typename Body>
    void WithOffscreenFraming(bool suppressOutput, Body&& body);
    [[nodiscard]] std::optional<QString> AskDepthFileName();
    void SaveBitmap(const PixelBuffer& bitmap, const QString& file);

    std::unique_ptr<Ui::ModelTab> ui_;
    ModelTabHost& host_;
    ProgramFolders folders_;
    QString modelDialogFolder_;
    ModelImporter importer_;
    std::unique_ptr<Scene3d> scene_;
    std::unique_ptr<OffscreenView> memoryViewer_;  // made on first use: it needs its own context
    QColor backgroundColor_;
    DepthBuffer zBuffer_;
    PixelBuffer depthImage_;
    LiveStereogram liveStereogram_;
    DepthRange depthRange_;
    QTimer* depthTimer_ = nullptr;
    int lastMouseX_ = 0;
    int lastMouseY_ = 0;
    bool captureBusy_ = false;
    bool holdCaptures_ = false;
    bool freezeDepthRange_ = false;
    bool suppressDepthOutput_ = false;
    bool missingGlyphsNoted_ = false;
};

}  // namespace vistamaze
