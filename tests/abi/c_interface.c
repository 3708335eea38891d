// SPDX-License-Identifier: Zlib
#include "c_interface.h"

#include <errno.h>
#include <stddef.h>

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

int CheckSourceControlFromC(ISource* source) {
    ISourceControl* control = NULL;
    const QGUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    TVec3D place = {1, 0, 0};
    if (source->lpVtbl->QueryInterface(source, &other, (void**)&control) != Q_NOINTERFACE || control) return 1;
    if (source->lpVtbl->QueryInterface(source, &IID_ISourceControl, (void**)&control) != Q_OK) return 2;
    if ((void*)control != (void*)source) return 3;
    /* The classic slots keep their places in the longer table. */
    control->lpVtbl->SetPosition(control, &place);
    control->lpVtbl->SetLooping(control, 0);
    if (control->lpVtbl->SetGain(control, -1.0f) != 0 || control->lpVtbl->SetGain(control, 0.5f) != 1) return 4;
    if (control->lpVtbl->SetPitch(control, 0.0f) != 0 || control->lpVtbl->SetPitch(control, 2.0f) != 1) return 5;
    if (control->lpVtbl->SetReferenceDistance(control, 2.0f) != 1) return 6;
    if (control->lpVtbl->SetRolloff(control, 0.0f) != 1) return 7;
    control->lpVtbl->SetRelative(control, 1);
    control->lpVtbl->SetRelative(control, 0);
    if (control->lpVtbl->GetState(control) != QSOURCE_STOPPED) return 8;
    if (control->lpVtbl->GetOffset(control) != 0.0f) return 9;
    control->lpVtbl->Stop(control);
    if (control->lpVtbl->Release(control) != 1) return 10;
    return 0;
}
