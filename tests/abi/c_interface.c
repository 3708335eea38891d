/* A C caller of the interface objects: proves the table slots line up with
 * the C++ interfaces, and that the header compiles as C. */
#include <quelt/quelt.h>

int CheckFrustumFromC(IFrustum* frustum) {
    TMatrix4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    TVec3D origin = {0, 0, 0}, outside = {2, 0, 0}, centre = {3, 0, 0}, half = {0.5f, 0.5f, 0.5f};
    if (frustum->lpVtbl->AddRef(frustum) != 2) return 1;
    if (frustum->lpVtbl->Release(frustum) != 1) return 2;
    frustum->lpVtbl->ExtractFromMatrices(frustum, &identity, &identity);
    if (frustum->lpVtbl->PointIn(frustum, &origin) != 1) return 3;
    if (frustum->lpVtbl->PointIn(frustum, &outside) != 0) return 4;
    if (frustum->lpVtbl->SphereIn(frustum, &centre, 2.0f) != 0) return 5;
    if (frustum->lpVtbl->SphereIn(frustum, &centre, 2.5f) != 1) return 6;
    if (frustum->lpVtbl->BoxIn(frustum, &origin, &half) != 1) return 7;
    return 0;
}
