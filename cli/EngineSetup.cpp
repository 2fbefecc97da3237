#include "cli/EngineSetup.h"

#include "cli/FileRoles.h"
#include "formats/PictureFile.h"
#include "resources/DefaultTexture.h"

#include <utility>

namespace vistamaze::cli {

Picture ReadTexture(const RenderOptions& o) {
    return o.texture.empty() ? DefaultTexture()
                             : InRole("texture", [&] { return ReadPictureFile(o.texture); });
}

void ConfigureEngine(TStereogram& engine, const RenderOptions& o) {
    ConfigureEngine(engine, o, ReadTexture(o));
}

void ConfigureEngine(TStereogram& engine, const RenderOptions& o, Picture texture) {
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
    engine.SetPatOfX(o.textureOffsetX);
    engine.SetPatOfY(o.textureOffsetY);
    if (o.seed) {
        const std::uint32_t seed = *o.seed;
        engine.SeedSource = [seed] { return seed; };
    }
    engine.SetMaskMap(std::move(texture));
}

}  // namespace vistamaze::cli
