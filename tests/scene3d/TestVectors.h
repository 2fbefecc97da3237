#pragma once

#include "scene3d/Vec3.h"

#include <gtest/gtest.h>

namespace vistamaze::test {

inline void ExpectVecNear(Vec3 actual, Vec3 expected, double tolerance = 1e-9) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << "x";
    EXPECT_NEAR(actual.y, expected.y, tolerance) << "y";
    EXPECT_NEAR(actual.z, expected.z, tolerance) << "z";
}

}  // namespace vistamaze::test
