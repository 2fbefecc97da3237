#pragma once

#include "scene3d/AnimationSteps.h"

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class AnimationOptionsDialog;
}

namespace vistamaze {

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Width and height of a "Screen size" item such as "1920x1080" or "1024x768 ": the text before
// the first "x" and the text after it, each trimmed of blanks, as whole numbers. A width that is
// no number gives 400 x 300; a height that is no number keeps the width and gives height 300.
[[nodiscard]] FrameSize ParseScreenSizeItem(const QString& text);

// The animation options dialog: caption "Animation options", modal, centred on the screen it
// opens on each time it is shown, help context 40. It lives as long as the program and keeps its
// controls and the options of the last Start between animations.
//
// "Start" (Start) reads the options, sets the Start flag and closes the dialog; when a
// field cannot be taken, it shows why, selects that field and stays open, and nothing is started.
// "Close", Esc and the close box (CloseDialog) clear the flag and close it. Every show clears
// the flag.
class AnimationOptionsDialog : public QDialog {
    Q_OBJECT

public:
    // The "Stereogram Type" buttons, in their order.
    static constexpr int kRandomDotItem = 0;
    static constexpr int kRandomDotTexturedItem = 1;
    static constexpr int kTexturedItem = 2;

    explicit AnimationOptionsDialog(QWidget* parent = nullptr);
    ~AnimationOptionsDialog() override;
    AnimationOptionsDialog(const AnimationOptionsDialog&) = delete;
    AnimationOptionsDialog& operator=(const AnimationOptionsDialog&) = delete;

    // The options of the last Start (frame size, rate, length and the per-frame steps); before
    // the first Start, AnimationOptions' defaults (600 x 400, 24 fps, 60 frames, rotation X 1).
    [[nodiscard]] const AnimationOptions& Options() const noexcept { return options_; }
    // The "Sound track" of the last Start: a WAV file to add to the movie, or empty for none.
    [[nodiscard]] const QString& SoundTrack() const noexcept { return soundTrack_; }
    // Whether the dialog last closed through "Start".
    [[nodiscard]] bool Started() const noexcept { return started_; }
    // The checked "Stereogram Type" button: kRandomDotItem, kRandomDotTexturedItem or
    // kTexturedItem.
    [[nodiscard]] int StereogramTypeItem() const;

    void Start();
    void CloseDialog();
    // The sound track's browse button: a WAV file chosen through the program's dialogs goes into
    // the field.
    void BrowseSoundTrack();
    // Reads the controls into Options() and SoundTrack(), in this order: screen size (see
    // ParseScreenSizeItem), frames per second from the selected item (none selected: unchanged),
    // frames count, rotation X, Y, Z, camera zoom, camera X, Y, texture scale (a real number in
    // the user's notation), texture X, Y, then the sound track (empty, or a readable WAV file).
    // Throws vistamaze::Error "'<text>' is not a valid integer value" (or "... valid floating
    // point value", or 'Sound track "<file>": <reason>') at the first field that cannot be taken;
    // Options() then keep the values of the last Start.
    void ReadAnimationOptions();

    // "Close", Esc and the close box: clears the Start flag and closes the dialog.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ResetOptions();

    std::unique_ptr<Ui::AnimationOptionsDialog> ui_;
    AnimationOptions options_;
    QString soundTrack_;
    bool started_ = false;
};

}  // namespace vistamaze
