#pragma once

#include "engine/Stereogram.h"
#include "workspace/ProgramFolders.h"

#include <QMainWindow>
#include <memory>

namespace Ui {
class TfmMain;
}

namespace vistamaze {

class TfmAbout;

// Where the main window looks for its folders. The program passes the system's documents folder
// and the folders found next to its executable; tests pass temporary ones.
struct MainWindowSetup {
    QString documentsFolder;  // empty: the user data folder is relative to the current folder
    ProgramFolders folders;
};

// The main window: two tabs ("3D model", "Stereogram"), the main menu, the toolbar, and the one
// engine object. Created once at start-up and alive until the program ends; closing it ends the
// program.
//
// Commands only ever go from disabled to enabled: the Enable... functions below are the only
// place that enables the commands that start disabled, and nothing disables them again.
class TfmMain : public QMainWindow {
    Q_OBJECT

public:
    // Runs FormCreate: creates the user data folder (with missing parents), makes the program
    // folder the working directory and maximises the window state (shown later by the caller).
    explicit TfmMain(const MainWindowSetup& setup, QWidget* parent = nullptr);
    ~TfmMain() override;
    TfmMain(const TfmMain&) = delete;
    TfmMain& operator=(const TfmMain&) = delete;

    // "<documents>/Vistamaze/", ending with a separator.
    [[nodiscard]] const QString& UserDataFolder() const noexcept { return userDataFolder_; }
    [[nodiscard]] const ProgramFolders& Folders() const noexcept { return folders_; }
    [[nodiscard]] TStereogram& Stereogram1() noexcept { return stereogram1_; }

    // The about box that "About" shows modally; not owned, must outlive this window's use of it
    // (created after the main window, as at start-up). Without one, "About" does nothing.
    void SetAboutBox(TfmAbout* about) noexcept { fmAbout_ = about; }

    // `tbRender` and "Render ": after a depth map file was chosen, the model-open dialog closed,
    // or a depth map was captured.
    void EnableRenderCommands();
    // "Render animation": after the model-open dialog closed or a depth map was captured.
    void EnableAnimationCommands();
    // `tbSee`, "Show last rendered", `tbSave`, "Save Stereogram": after a single render's result
    // reached the preview window.
    void EnableResultCommands();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate(const QString& documentsFolder);
    void FormShow();
    void ConnectCommands();
    void About1Click();

    std::unique_ptr<Ui::TfmMain> ui_;
    TStereogram stereogram1_;
    ProgramFolders folders_;
    QString userDataFolder_;
    TfmAbout* fmAbout_ = nullptr;
    bool formShown_ = false;
};

}  // namespace vistamaze
