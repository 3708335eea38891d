// SPDX-License-Identifier: Zlib
#include "QFrustum.h"

#include "MVector.h"
#include "QUtils.h"
#include "platform/GL.h"

namespace quelt {
namespace {

// Row r of a column-major matrix.
TVec4D Row(const float* m, int r) { return {m[r], m[4 + r], m[8 + r], m[12 + r]}; }

TVec4D Combine(const TVec4D& a, const TVec4D& b, float sign) {
    return {static_cast<float>(double(a.x) + sign * double(b.x)), static_cast<float>(double(a.y) + sign * double(b.y)),
            static_cast<float>(double(a.z) + sign * double(b.z)), static_cast<float>(double(a.w) + sign * double(b.w))};
}

} // namespace

float TFrustum::Distance(int plane, const TVec3D& p) const {
    const PlaneCoefficients& q = planes_[plane];
    return static_cast<float>(double(q.a) * p.x + double(q.b) * p.y + double(q.c) * p.z + q.d);
}

qbool TFrustum::PointIn(const TVec3D* p) {
    if (!p) {
        NullArgument("IFrustum::PointIn", "p");
        return 0;
    }
    for (int plane = 0; plane < 6; ++plane)
        if (!(Distance(plane, *p) > 0.0f)) return 0; // on the plane counts as outside
    return 1;
}

qbool TFrustum::SphereIn(const TVec3D* centre, float radius) {
    if (!centre) {
        NullArgument("IFrustum::SphereIn", "centre");
        return 0;
    }
    for (int plane = 0; plane < 6; ++plane)
        if (Distance(plane, *centre) <= -radius) return 0;
    return 1;
}

qbool TFrustum::BoxIn(const TVec3D* centre, const TVec3D* halfSize) {
    if (!centre || !halfSize) {
        NullArgument("IFrustum::BoxIn", centre ? "halfSize" : "centre");
        return 0;
    }
    const float xs[2] = {centre->x - halfSize->x, centre->x + halfSize->x};
    const float ys[2] = {centre->y - halfSize->y, centre->y + halfSize->y};
    const float zs[2] = {centre->z - halfSize->z, centre->z + halfSize->z};
    bool visible = true;
    for (int plane = 0; plane < 6; ++plane) {
        bool anyInside = false;
        // Corner order: x varies fastest, then y, then z.
        for (int corner = 0; corner < 8 && !anyInside; ++corner)
            anyInside = Distance(plane, {xs[corner & 1], ys[(corner >> 1) & 1], zs[corner >> 2]}) > 0.0f;
        if (!anyInside) visible = false;
    }
    return visible ? 1 : 0;
}

void TFrustum::ExtractFromMatrices(const TMatrix4* projection, const TMatrix4* modelView) {
    if (!projection || !modelView) {
        NullArgument("IFrustum::ExtractFromMatrices", projection ? "modelView" : "projection");
        return;
    }
    const float* P = projection->m;
    const float* M = modelView->m;
    float C[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            C[4 * i + j] = static_cast<float>(double(M[4 * i + 0]) * P[j] + double(M[4 * i + 1]) * P[4 + j] +
                                              double(M[4 * i + 2]) * P[8 + j] + double(M[4 * i + 3]) * P[12 + j]);
    const TVec4D rows[4] = {Row(C, 0), Row(C, 1), Row(C, 2), Row(C, 3)};
    const TVec4D planes[6] = {Combine(rows[3], rows[0], -1), Combine(rows[3], rows[0], +1),
                              Combine(rows[3], rows[1], +1), Combine(rows[3], rows[1], -1),
                              Combine(rows[3], rows[2], -1), Combine(rows[3], rows[2], +1)};
    for (int i = 0; i < 6; ++i) {
        const TVec4D& p = planes[i];
        // A zero normal is not guarded: IEEE gives infinities or NaNs.
        const float length = len3D({p.x, p.y, p.z});
        planes_[i] = {static_cast<float>(double(p.x) / length), static_cast<float>(double(p.y) / length),
                      static_cast<float>(double(p.z) / length), static_cast<float>(double(p.w) / length)};
    }
}

void TFrustum::Calculate() {
    TMatrix4 projection{}, modelView{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.m);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.m);
    ExtractFromMatrices(&projection, &modelView);
}

void CreateFrustum(IFrustum** slot) { HandOut(slot, new TFrustum()); }

} // namespace quelt
