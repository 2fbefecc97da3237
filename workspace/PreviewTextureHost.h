#pragma once

namespace vistamaze {

// What the preview window's texture controls ask of the main window, which owns the texture and
// the engine. The preview window keeps no texture state of its own.
class PreviewTextureHost {
public:
    virtual ~PreviewTextureHost() = default;

    // True while a texture load rewrites the preview's fields: their changes are then ignored.
    [[nodiscard]] virtual bool TextureLoading() const = 0;
    // The engine's texture offsets, in texture columns and rows.
    virtual void SetTextureOffset(int x, int y) = 0;
    // "Stretch on render": sets the main window's box and applies the settings.
    virtual void SetStretchTexture(bool stretch) = 0;
    // The mirror boxes; the caller rebuilds the texture afterwards.
    virtual void SetHorizontalMirror(bool on) = 0;
    virtual void SetVerticalMirror(bool on) = 0;
    // The texture scale in percent read by the next rebuild.
    virtual void SetTextureScale(double percent) = 0;
    // Crops, scales, mirrors and blends the loaded texture and hands it to the engine.
    virtual void RebuildTexture() = 0;
    // The render command.
    virtual void Render() = 0;
    // The texture library: step through the folder's textures (each loads and renders), or choose
    // one in the texture dialog (no render).
    virtual void PreviousTexture() = 0;
    virtual void NextTexture() = 0;
    virtual void ChooseTexture() = 0;

protected:
    PreviewTextureHost() = default;
    PreviewTextureHost(const PreviewTextureHost&) = default;
    PreviewTextureHost& operator=(const PreviewTextureHost&) = default;
};

}  // namespace vistamaze
