#pragma once

#include "engine/Picture.h"
#include "engine/Stereogram.h"
#include "engine/TextureList.h"
#include "workspace/ModelTab.h"
#include "workspace/PreviewTextureHost.h"
#include "workspace/ProgramFolders.h"

#include <QMainWindow>
#include <QUrl>
#include <memory>

class QButtonGroup;
class QLineEdit;
class QMenu;

namespace Ui {
class MainWindow;
}

namespace vistamaze {

class AnimationRun;
class PreviewWindow;
class AboutBox;
class ProgressWindow;
class AnimationOptionsDialog;
class ConfigurationDialog;
class HelpWindow;

// Where the main window looks for its folders. The program passes the system's documents folder
// and the folders found next to its executable; tests pass temporary ones.
struct MainWindowSetup {
    QString documentsFolder;  // empty: the user data folder is relative to the current folder
    ProgramFolders folders;
    QUrl webPage;  // the about box's links
    QUrl mailTo;
};

// The program's other windows as the main window uses them; none owned. Each must outlive the
// main window's use of it (see ProgramWindows, which creates them all in start-up order).
struct MainWindowPartners {
    PreviewWindow* preview = nullptr;
    AboutBox* about = nullptr;
    AnimationOptionsDialog* animationOptions = nullptr;
    ProgressWindow* progress = nullptr;
    ConfigurationDialog* config = nullptr;
    HelpWindow* help = nullptr;
};

// The main window: two tabs ("3D model", "Stereogram"), the main menu, the toolbar, the
// settings controls and the one engine object. Created once at start-up and alive until the
// program ends; closing it ends the program.
//
// The engine holds the settings; the controls are two-way views of it: ApplySettingsToEngine
// copies controls to engine, ShowEngineSettings engine to controls, and SettingsChanged (run by every
// settings control) does both.
//
// Commands only ever go from disabled to enabled: the Enable... functions below are the only
// place that enables the commands that start disabled, and nothing disables them again.
class MainWindow : public QMainWindow, public PreviewTextureHost, public ModelTabHost {
    Q_OBJECT

public:
    // Runs Initialise: creates the user data folder (with missing parents), makes the program
    // folder the working directory and maximises the window state (shown later by the caller).
    explicit MainWindow(const MainWindowSetup& setup, QWidget* parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Hands over the other windows, before the main window is first shown. Null members leave
    // their commands without effect.
    void AttachWindows(const MainWindowPartners& partners);

    // "<documents>/Vistamaze/", ending with a separator.
    [[nodiscard]] const QString& UserDataFolder() const noexcept { return userDataFolder_; }
    [[nodiscard]] const ProgramFolders& Folders() const noexcept { return folders_; }
    [[nodiscard]] Stereogram& Engine() noexcept { return engine_; }
    // The DPI field's text as it stands (the picture writers read it at the moment of saving).
    [[nodiscard]] QString DpiText() const override;
    // The "3D model" tab.
    [[nodiscard]] ModelTab& ModelPage() const noexcept { return *modelTab_; }
    // The depth picture shown on the "Stereogram" tab: always the engine's depth map.
    [[nodiscard]] const Picture& DepthImage() const noexcept { return depthPicture_; }
    // Set by the progress window's "Stop"; cleared and read by the animation loop.
    [[nodiscard]] bool StopRequested() const noexcept { return stopRequested_; }
    void SetStopRequested(bool value) noexcept { stopRequested_ = value; }

    // Settings: see the class comment. SettingsChanged resets the oversampling to 4 when "Textured" was
    // just chosen. ApplySettingsToEngine stops quietly at the first field that holds no number.
    void SettingsChanged();
    void ApplySettingsToEngine();
    void ShowEngineSettings();

    // Depth map: the "Select depth map" dialog, then the chosen picture becomes the engine's.
    void AskForDepthMap();
    void OpenDepthMap();
    // ModelTabHost: a capture becomes the depth image and the engine's depth map.
    void PublishDepthMap(const PixelBuffer& depthImage) override;
    void EnableModelCommands() override;
    void ShowStatusNote(const QString& text) override;
    [[nodiscard]] const Stereogram& StereogramSettings() const override { return engine_; }
    // "Load 3DS model": the "3D model" tab comes to the front and the model dialog opens.
    void OpenModel();
    // Opens a file given to the program (from the desktop's "Open with"): a model file (by its
    // extension) is loaded on the "3D model" tab, anything else as the depth map, as if chosen in
    // its dialog. Errors propagate as the dialogs' do.
    void OpenFile(const QString& file);
    // Saves the depth image through the preview window's save dialog (JPEG quality 80).
    void SaveDepthImage();

    // Textures. `texturePicture` holds the texture as loaded (the built-in one at start); the working
    // texture is it cropped and scaled (`PrepareTexture`), then mirror-tiled and edge-blended
    // (`MirrorTexture`), and goes to the engine as its MaskMap. Nothing accumulates: every
    // rebuild starts again from the loaded picture.
    void AskForTexture();
    void OpenTexture();
    // Loads a texture file and resets the preview's placement fields. A file that is no picture
    // keeps the previous texture; an unreadable one throws FileAccessError (the loading flag is
    // cleared all the same).
    void LoadTexture(const QString& path);
    void ApplyTexture();
    void MirrorTexture();
    // Throws vistamaze::Error when a scale other than 100 % meets a DPI field that is not a
    // whole number; the working texture is then unchanged.
    void PrepareTexture();
    void RefreshTextureList();
    [[nodiscard]] const Picture& TextureImage() const noexcept { return texturePicture_; }
    [[nodiscard]] const PixelBuffer& WorkingTexture() const noexcept { return workingTexture_; }
    [[nodiscard]] const TextureList& Textures() const noexcept { return textureList_; }
    [[nodiscard]] double TextureScale() const noexcept { return textureScale_; }

    // PreviewTextureHost: what the preview window's texture controls do here.
    [[nodiscard]] bool TextureLoading() const override { return textureLoading_; }
    void SetTextureOffset(int x, int y) override;
    void SetStretchTexture(bool stretch) override;
    void SetHorizontalMirror(bool on) override;
    void SetVerticalMirror(bool on) override;
    void SetTextureScale(double percent) override { textureScale_ = percent; }
    void RebuildTexture() override { MirrorTexture(); }
    void Render() override { RenderWithProgress(); }
    void PreviousTexture() override;
    void NextTexture() override;
    void ChooseTexture() override { OpenTexture(); }

    // The render command: applies every settings field as it shows (a value still being typed, a
    // preset not yet applied), then runs RenderStereogram inside
    // the modal progress window. RenderStereogram runs the engine once and hands the result to
    // the preview window; the engine's refusals propagate as vistamaze::Error.
    void RenderWithProgress();
    void RenderStereogram();

    // `renderButton` and "Render ": after a depth map file was chosen, the model-open dialog closed,
    // or a depth map was captured.
    void EnableRenderCommands();
    // "Render animation": after the model-open dialog closed or a depth map was captured.
    void EnableAnimationCommands();
    // `showLastRenderedButton`, "Show last rendered", `saveButton`, "Save Stereogram": after a single
    // render's result reached the preview window.
    void EnableResultCommands();

    // The "Stereogram Type" and "Oversampling" items (from 0), and choosing one as the user's
    // click does: the settings then reach the engine (SettingsChanged). An item below 0 chooses nothing.
    [[nodiscard]] int StereoTypeItem() const;
    void ChooseStereoTypeItem(int item);
    [[nodiscard]] int OversamplingItem() const;
    void ChooseOversamplingItem(int item);
    // The width and height fields show the size, and the engine takes it; nothing else applies.
    void ShowMovieSize(int width, int height);
    // Brings the "3D model" tab to the front.
    void ShowModelTab();
    // "Render animation" and the 3D tab's button: see AnimationRun. Null until the windows
    // were attached.
    void RenderAnimationCommand();
    [[nodiscard]] AnimationRun* Animation() const noexcept { return animation_.get(); }

    // The size and resolution pop-up menus of the "Size && DPI" group.
    [[nodiscard]] QMenu* SizeMenu() const noexcept { return sizeMenu_; }
    [[nodiscard]] QMenu* DpiMenu() const noexcept { return dpiMenu_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LayOutSettingsPanel();
    void Initialise(const QString& documentsFolder);
    void PrepareFirstShow();
    void ConnectCommands();
    void ConnectSettings();
    void BuildPopupMenus();
    void ConnectPartners();
    void TakeFocusAway();
    void ShowRenderProgress();
    void ShowLastRendered();
    void ShowDepthImage();
    void HandDepthImageToEngine();
    void ReportPictureLoad(const QString& file, const QString& failure);
    void SetSize(int width, int height);
    void SetDpiText(const QString& text);
    [[nodiscard]] bool ApplyFields();
    void ShowTexture();
    void ShowTextureSize();
    void LoadTextureControls();
    void SetTextureRanges(int width, int height);
    [[nodiscard]] int MirrorMode() const;

    std::unique_ptr<Ui::MainWindow> ui_;
    ModelTab* modelTab_ = nullptr;
    Stereogram engine_;
    ProgramFolders folders_;
    QString userDataFolder_;
    MainWindowPartners partners_;
    std::unique_ptr<AnimationRun> animation_;  // made when the windows are attached
    QButtonGroup* kindButtons_ = nullptr;
    QButtonGroup* blurButtons_ = nullptr;
    QButtonGroup* dotColorButtons_ = nullptr;
    QButtonGroup* oversamplingButtons_ = nullptr;
    QButtonGroup* geometryButtons_ = nullptr;
    QMenu* sizeMenu_ = nullptr;
    QMenu* dpiMenu_ = nullptr;
    Picture depthPicture_;         // the depth image control's picture
    Picture texturePicture_;       // the texture thumbnail's picture (the built-in texture at start)
    PixelBuffer workingTexture_;   // the working texture: cropped and scaled, 24-bit
    PixelBuffer mirroredTexture_;  // the mirror-tiled working texture
    TextureList textureList_;
    QString textureFileName_;  // the texture dialog's current file
    QString textureDialogFolder_;
    double textureScale_ = 100.0;
    bool textureLoading_ = false;
    QString depthDialogFolder_;
    int previousTypeItem_ = -1;
    std::uint64_t depthMapGeneration_ = 0;  // bumped whenever the engine gets a depth map
    std::uint64_t shownDepthGeneration_ = ~std::uint64_t{0};
    bool stopRequested_ = false;
    bool firstShown_ = false;
};

}  // namespace vistamaze
