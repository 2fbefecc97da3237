#include "workspace/LiveStereogram.h"

#include "workspace/PictureConversion.h"

namespace vistamaze {
namespace {

constexpr std::uint32_t kLiveSeed = 20250101;

}  // namespace

LiveStereogram::LiveStereogram() {
    engine_.SeedSource = [] { return kLiveSeed; };
}

QImage LiveStereogram::Render(const Stereogram& settings, const PixelBuffer& depth, int width, int height) {
    Stereogram& e = engine_;
    // The kind before the oversampling (random dots allow only 1), the size before the DPI (which
    // is halved to fit a view smaller than it), as the main window applies them.
    e.SetStereoType(settings.StereoType());
    e.SetOversampling(settings.Oversampling());
    e.SetBlur(settings.Blur());
    e.SetDotIntensity(settings.DotIntensity());
    e.SetRandomDotColor(settings.RandomDotColor());
    e.SetWidth(width);
    e.SetHeight(height);
    e.SetDPI(settings.DPI());
    e.SetObservDistance(settings.ObservDistance());
    e.SetMax3Ddepth(settings.Max3Ddepth());
    e.SetMin3Ddepth(settings.Min3Ddepth());
    e.SetConverging(settings.Converging());
    e.SetStretchTexture(settings.StretchTexture());
    e.SetPatOfX(settings.PatOfX());
    e.SetPatOfY(settings.PatOfY());
    e.SetGuideDots(settings.GuideDots());
    e.SetMaskMap(settings.MaskMap());
    e.SetDepthMap(Picture(depth));
    e.Generate();
    return ToQImage(e.TakeStereogramPicture().Bitmap());
}

}  // namespace vistamaze
