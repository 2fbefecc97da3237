#include "cli/EngineSetup.h"

#include "cli/FileRoles.h"
#include "formats/PictureFile.h"
#include "resources/DefaultTexture.h"

#include <sstream>
#include <utility>

namespace vistamaze::cli {
namespace {

std::string Number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// " at 5 dpi (-W 10 -H 760 lower --dpi 72 to 5)": the dpi the geometry was found with, and why
// it is not the one asked for.
std::string AtDpi(const GeometryError::Values& v, const RenderOptions& o) {
    std::string text = " at " + std::to_string(v.dpi) + " dpi";
    if (v.dpi != o.dpi) {
        text += " (-W " + std::to_string(o.width) + " -H " + std::to_string(o.height) + " lower --dpi " +
                std::to_string(o.dpi) + " to " + std::to_string(v.dpi) + ", half the smaller side)";
    }
    return text;
}

}  // namespace

std::string GeometryProblem(const GeometryError& error, const RenderOptions& o) {
    const GeometryError::Values& v = error.GetValues();
    switch (error.GetCause()) {
        case GeometryError::Cause::NoNearDepth:
            return "--distance " + Number(v.distance) + " with --min-depth " + Number(v.minDepth) +
                   " puts the nearest points at the eyes, where they have no separation: give --distance or "
                   "--min-depth a value above 0";
        case GeometryError::Cause::PatternTooNarrow:
            // Past the size's limit a higher --dpi changes nothing.
            return "--max-depth " + Number(v.maxDepth) + " gives a repeating pattern less than 1 pixel wide" +
                   AtDpi(v, o) +
                   (v.dpi != o.dpi ? ": raise --max-depth, or -W and -H" : ": raise --max-depth or --dpi");
        case GeometryError::Cause::PatternNegative:
            return "--distance " + Number(v.distance) + " and --max-depth " + Number(v.maxDepth) +
                   " give a repeating pattern of negative width";
        case GeometryError::Cause::PatternTooWide:
            break;
    }
    return "the repeating pattern is " + std::to_string(v.patternWidth) + " pixels wide" + AtDpi(v, o) +
           ", wider than the picture (-W " + std::to_string(v.width) +
           "): raise -W or --distance, or lower --max-depth";
}

Picture ReadTexture(const RenderOptions& o) {
    return o.texture.empty() ? DefaultTexture()
                             : InRole("texture", [&] { return ReadPictureFile(o.texture); });
}

void ConfigureEngine(Stereogram& engine, const RenderOptions& o) {
    ConfigureEngine(engine, o, ReadTexture(o));
}

void ConfigureEngine(Stereogram& engine, const RenderOptions& o, Picture texture) {
    engine.SetStereoType(o.type);
    engine.SetWidth(o.width);
    engine.SetHeight(o.height);
    engine.SetDPI(o.dpi);
    engine.SetOversampling(o.oversampling);
    engine.SetBlur(o.blur);
    engine.SetDotIntensity(o.dotIntensity);
    engine.SetRandomDotColor(o.dotColors);
    engine.SetConverging(o.converging);
    engine.SetObservDistance(o.distance);
    engine.SetMax3Ddepth(o.maxDepth);
    engine.SetMin3Ddepth(o.minDepth);
    engine.SetStretchTexture(o.stretch);
    engine.SetGuideDots(o.guideDots);
    engine.SetPatOfX(o.textureOffsetX);
    engine.SetPatOfY(o.textureOffsetY);
    if (o.seed) {
        const std::uint32_t seed = *o.seed;
        engine.SeedSource = [seed] { return seed; };
    }
    engine.SetMaskMap(std::move(texture));
}

}  // namespace vistamaze::cli
