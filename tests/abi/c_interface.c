// SPDX-License-Identifier: Zlib
#include "c_interface.h"

#include <errno.h>

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

void OpenPBufferFromC(IPBuffer* pbuffer, void (*whileEnabled)(void*), void (*whileBound)(void*), void* user,
                      PBufferAnswers* answers) {
    const IPBufferVtbl* slots = pbuffer->lpVtbl;
    const int32_t cubeFaceAttribute = 0x207C;
    answers->checkSupport = slots->CheckSupport(pbuffer);
    answers->initialize = slots->Initialize(pbuffer);
    answers->secondInitialize = slots->Initialize(pbuffer);
    answers->width = slots->GetWidth(pbuffer);
    answers->height = slots->GetHeight(pbuffer);
    answers->target = slots->GetTarget(pbuffer);
    answers->texture = slots->GetTexture(pbuffer);
    answers->shareLists = slots->GetShareLists(pbuffer);
    answers->isLost = slots->IsLost(pbuffer);
    answers->addRef = slots->AddRef(pbuffer);
    slots->Release(pbuffer);
    errno = EINVAL;
    slots->ClearError(pbuffer);
    answers->errorCleared = errno == 0;

    answers->enable = slots->Enable(pbuffer);
    slots->SetCubeFace(pbuffer, QPB_CUBE_POSITIVE_X);
    answers->cubeFaceSet = slots->SetAttribute(pbuffer, cubeFaceAttribute, QPB_CUBE_POSITIVE_X);
    whileEnabled(user);
    answers->disable = slots->Disable(pbuffer);
    answers->disableAgain = slots->Disable(pbuffer);

    answers->foreignBind = slots->BindToTexture(pbuffer, 0x1234);
    answers->bind = slots->BindToTexture(pbuffer, QPB_FRONT_LEFT);
    whileBound(user);
    answers->release = slots->ReleaseFromTexture(pbuffer, QPB_FRONT_LEFT);
}

int32_t ClosePBufferFromC(IPBuffer* pbuffer) {
    pbuffer->lpVtbl->FreeResources(pbuffer);
    return pbuffer->lpVtbl->Release(pbuffer);
}

// The pads' key codes are constant expressions in C too (a switch may name them).
_Static_assert(QK_PAD(0, QK_PAD_B) == QK_PAD_B && QK_PAD(3, QK_PAD_TOUCHPAD) == 534 + 3 * 32,
               "QK_PAD gives pad n's code");
