// SPDX-License-Identifier: Zlib
// The view frustum: six planes taken from the projection and model-view
// matrices, and visibility tests for points, spheres and boxes.
#pragma once

#include <quelt/quelt.h>

#include "TInterfacedObject.h"

namespace quelt {

class TFrustum final : public TInterfacedObject<IFrustum> {
public:
    enum Plane { kRight, kLeft, kBottom, kTop, kFar, kNear };
    struct PlaneCoefficients {
        float a = 0, b = 0, c = 0, d = 0;
    };

    qbool PointIn(const TVec3D* p) override;
    qbool SphereIn(const TVec3D* centre, float radius) override;
    qbool BoxIn(const TVec3D* centre, const TVec3D* halfSize) override;
    void ExtractFromMatrices(const TMatrix4* projection, const TMatrix4* modelView) override;
    void Calculate() override;

    const PlaneCoefficients& GetPlane(int index) const { return planes_[index]; }

private:
    float Distance(int plane, const TVec3D& p) const;

    PlaneCoefficients planes_[6];
};

// A new frustum with all planes zero, handed to `slot` with a count of 1.
void CreateFrustum(IFrustum** slot);

} // namespace quelt
