#pragma once

#include "engine/Errors.h"
#include "engine/Picture.h"
#include "engine/PixelBuffer.h"
#include "engine/RandomSource.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vistamaze {

enum class StereogramKind { RandomDot, RandomDotTextured, Textured };
enum class BlurLevel { None, Light, Medium, Heavy };
enum class RandomDotColors { BlackAndWhite, Rgb };

// Values derived from the properties by UpdateGeometry; lengths in output pixels unless marked
// internal (output pixels times Oversampling).
struct StereogramGeometry {
    int eyeSeparation = 0;          // E
    int eyeSeparationInternal = 0;  // E'
    long double viewDistance = 0;   // D
    long double farPlane = 0;       // Zmax
    long double nearPlane = 0;      // Zmin
    int patternWidth = 0;           // P
    int patternWidthInternal = 0;   // P'
    int internalWidth = 0;          // W'
    int startColumn = 0;            // xs, internal
    int phase = 0;                  // texture phase so that texture column 0 falls on xs
    int verticalShift = 0;          // vshift, texture rows per strip
    int textureHeight = 0;          // texH
    int depthOffsetX = 0;           // xOff
    int depthOffsetY = 0;           // yOff
    int blurDivisor = 0;
};

// Scales a depth map in place to `width`, keeping its proportions and at least one row, as a
// render fits it. Of a result taller than `height` only the middle `height` rows are made
// (the ones a stereogram of that height shows), so the result never exceeds width x height.
// The result is 24-bit. Throws vistamaze::Error for an empty map or a height that overflows.
void FitDepthMap(PixelBuffer& depth, int width, int height);

// The same fit of the 24-bit `depth` into `fitted`, which keeps its storage when it already has
// the result's size.
void FitDepthMap(const PixelBuffer& depth, int width, int height, PixelBuffer& fitted);

// The stereogram engine: every parameter of one single-image stereogram, the depth map and
// the texture, and the render that turns them into a 24-bit picture of Width x Height.
//
// Setters clamp silently to their ranges. Generate() throws vistamaze::Error with the
// program's messages; the engine never shows anything itself. Not thread-safe: one caller
// thread, which also receives every callback.
class Stereogram {
public:
    static constexpr int kMaxInternalWidth = 48000;

    Stereogram();
    ~Stereogram();
    Stereogram(const Stereogram&) = delete;
    Stereogram& operator=(const Stereogram&) = delete;

    // Raised after every finished row (after Progress is updated) and once more at 100.
    std::function<void(Stereogram&)> OnGenerate;
    // Lets the host process pending user-interface events; called after every row.
    std::function<void()> ProcessEvents;
    // Seed of each render's random source; milliseconds since midnight UTC by default.
    std::function<std::uint32_t()> SeedSource;

    [[nodiscard]] const Picture& DepthMap() const noexcept { return depthMap_; }
    void SetDepthMap(const Picture& picture) { depthMap_ = picture; }
    void SetDepthMap(Picture&& picture) noexcept { depthMap_ = std::move(picture); }
    [[nodiscard]] const Picture& MaskMap() const noexcept { return maskMap_; }
    void SetMaskMap(const Picture& picture) { maskMap_ = picture; }
    void SetMaskMap(Picture&& picture) noexcept { maskMap_ = std::move(picture); }

    [[nodiscard]] int Width() const noexcept { return width_; }
    void SetWidth(int value) noexcept;
    [[nodiscard]] int Height() const noexcept { return height_; }
    void SetHeight(int value) noexcept;
    // The stored pattern width; refreshed by UpdateGeometry only while StretchTexture is on.
    [[nodiscard]] int Separation() const noexcept { return separation_; }
    // Sets Max3Ddepth so that the pattern width becomes `value` output pixels. Throws
    // vistamaze::Error, changing nothing, when value is not below Trunc(2.5 * DPI).
    void SetSeparation(int value);
    [[nodiscard]] StereogramKind StereoType() const noexcept { return stereoType_; }
    void SetStereoType(StereogramKind value) noexcept;
    [[nodiscard]] int DotIntensity() const noexcept { return dotIntensity_; }
    void SetDotIntensity(int value) noexcept;
    [[nodiscard]] int DPI() const noexcept { return dpi_; }
    void SetDPI(int value) noexcept;
    [[nodiscard]] BlurLevel Blur() const noexcept { return blur_; }
    void SetBlur(BlurLevel value) noexcept { blur_ = value; }
    [[nodiscard]] RandomDotColors RandomDotColor() const noexcept { return randomDotColor_; }
    void SetRandomDotColor(RandomDotColors value) noexcept { randomDotColor_ = value; }
    [[nodiscard]] int Oversampling() const noexcept { return oversampling_; }
    void SetOversampling(int value) noexcept;
    // Viewing geometry in inches.
    [[nodiscard]] double ObservDistance() const noexcept { return observDistance_; }
    void SetObservDistance(double value) noexcept;
    [[nodiscard]] double Max3Ddepth() const noexcept { return max3Ddepth_; }
    void SetMax3Ddepth(double value) noexcept;
    [[nodiscard]] double Min3Ddepth() const noexcept { return min3Ddepth_; }
    void SetMin3Ddepth(double value) noexcept;
    [[nodiscard]] bool Converging() const noexcept { return converging_; }
    void SetConverging(bool value) noexcept { converging_ = value; }
    [[nodiscard]] bool StretchTexture() const noexcept { return stretchTexture_; }
    void SetStretchTexture(bool value) noexcept { stretchTexture_ = value; }
    // Texture offsets in texture columns and rows; negative values are taken as 0.
    // Texture offsets may run far past the texture (a movie steps them every frame); the render
    // wraps them at the texture's repeat, so they are kept in 64 bits.
    [[nodiscard]] std::int64_t PatOfX() const noexcept { return patOfX_; }
    void SetPatOfX(std::int64_t value) noexcept { patOfX_ = value < 0 ? 0 : value; }
    [[nodiscard]] std::int64_t PatOfY() const noexcept { return patOfY_; }
    void SetPatOfY(std::int64_t value) noexcept { patOfY_ = value < 0 ? 0 : value; }
    // Two dots near the top of the picture that a viewer fuses into three when the eyes are set for
    // the far plane (see DrawGuideDots); off at construction.
    [[nodiscard]] bool GuideDots() const noexcept { return guideDots_; }
    void SetGuideDots(bool value) noexcept { guideDots_ = value; }
    // The distance of the guide dots' centres in output pixels: the separation of the far plane (the
    // depth map's black) after a render, at the render's DPI and oversampling.
    [[nodiscard]] double GuideDotSpacing() const noexcept;

    // 0 before the first finished row of a render, then the percentage of rows finished; 100
    // after a complete render; keeps its value after a failed one.
    [[nodiscard]] int Progress() const noexcept { return progress_; }

    // Renders the stereogram. Does nothing while a render runs (also when reached again from
    // ProcessEvents). Throws vistamaze::Error: "DepthMap is empty, please load depth image",
    // "Texture is empty, please load texture image", a resampling error, or GeometryError for
    // settings that leave no geometry ("Division by zero" (pattern width 0), "Pattern width
    // exceeds the stereogram width", no near depth with a viewing distance of 0).
    void Generate();

    // The last render as a 24-bit picture owned by the engine; copy it before the next render.
    const Picture& StereogramPicture();
    // The last render moved out of the engine, without copying its pixels; StereogramPicture() is
    // empty until the next render, which allocates its picture afresh.
    [[nodiscard]] Picture TakeStereogramPicture();

    // Recomputes the derived geometry from the properties.
    void UpdateGeometry() noexcept;
    [[nodiscard]] const StereogramGeometry& Geometry() const noexcept { return geometry_; }
    // The separation in internal pixels of each depth level, as built by the last render.
    [[nodiscard]] const std::array<int, 256>& SeparationTable() const noexcept { return separationTable_; }
    // Builds the separation table from the current geometry. Throws GeometryError when the
    // geometry gives no finite separation.
    void BuildSeparationTable();

    // Render worker threads for the kinds whose rows are independent (textured without blur);
    // 0 chooses from the hardware, 1 renders on the calling thread only. The output does not
    // depend on it.
    void SetRenderThreads(int count) noexcept { renderThreads_ = count < 0 ? 0 : count; }

private:
    struct RowScratch;
    class RowRenderer;

    void PrepareBuffers();
    void RenderRows();
    void RenderRowsParallel(int threads, const std::function<void(int, RowScratch&)>& work,
                            const std::function<void(int)>& finish);
    void ReportRow(int row);
    [[nodiscard]] GeometryError::Values GeometryValues() const noexcept;
    // Gives the first `count` threads row arrays long enough for the current geometry.
    void EnsureScratch(std::size_t count);
    void MakeRandomDotTile();
    void BuildBlurTable();
    [[nodiscard]] Bgr RandomDot();

    Picture depthMap_;
    Picture maskMap_;
    Picture outputPicture_;
    PixelBuffer outputBuffer_;
    PixelBuffer depthBuffer_;
    // The depth rows are read from: depthBuffer_, or the depth map itself when it needs no
    // conversion. Set only while Generate runs.
    const PixelBuffer* depth_ = nullptr;
    PixelBuffer textureBuffer_;

    int width_ = 800;
    int height_ = 600;
    int separation_ = 0;
    StereogramKind stereoType_ = StereogramKind::RandomDot;
    int dotIntensity_ = 50;
    int dpi_ = 72;
    BlurLevel blur_ = BlurLevel::None;
    RandomDotColors randomDotColor_ = RandomDotColors::BlackAndWhite;
    int oversampling_ = 1;
    double observDistance_ = 14.0;
    double max3Ddepth_ = 14.0;
    double min3Ddepth_ = 7.0;
    bool converging_ = false;
    bool stretchTexture_ = false;
    bool guideDots_ = false;
    std::int64_t patOfX_ = 0;
    std::int64_t patOfY_ = 0;

    int progress_ = 0;
    bool busy_ = false;
    int renderThreads_ = 0;
    std::uint8_t backgroundLevel_ = 0;
    StereogramGeometry geometry_;
    std::array<int, 256> separationTable_{};
    // Jittered separations for blur: [level][k] for the ten values of Random(10).
    std::vector<std::array<int, 10>> blurTable_;
    RandomSource random_;
    std::vector<std::unique_ptr<RowScratch>> scratch_;
};

}  // namespace vistamaze
