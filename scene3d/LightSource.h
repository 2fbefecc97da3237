#pragma once

#include "scene3d/SceneObject.h"

namespace vistamaze {

// A point light; a spot cut-off of 180 degrees shines in all directions.
class LightSource : public SceneObject {
public:
    [[nodiscard]] double ConstAttenuation() const noexcept { return constAttenuation_; }
    void SetConstAttenuation(double value) noexcept { constAttenuation_ = value; }
    [[nodiscard]] double SpotCutOff() const noexcept { return spotCutOff_; }
    void SetSpotCutOff(double degrees) noexcept { spotCutOff_ = degrees; }

private:
    double constAttenuation_ = 1.0;
    double spotCutOff_ = 180.0;
};

}  // namespace vistamaze
