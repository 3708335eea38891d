// SPDX-License-Identifier: Zlib
/* C callers of the interface objects: they prove that the table slots line
 * up with the C++ interfaces, and that the header compiles as C. */
#pragma once

#include <quelt/quelt.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 0 when every frustum slot answered as expected, else the failing step. */
int CheckFrustumFromC(IFrustum* frustum);

/* What a pbuffer answered through its C table. */
typedef struct PBufferAnswers {
    qbool checkSupport, initialize, secondInitialize, shareLists, isLost, enable, disable, disableAgain;
    qbool errorCleared;
    int32_t width, height, addRef, cubeFaceSet, bind, release, foreignBind;
    uint32_t target, texture;
} PBufferAnswers;

/* Initializes the pbuffer and reads every getter; Enable, `whileEnabled`
 * (the pbuffer's context current), Disable; BindToTexture, `whileBound`,
 * ReleaseFromTexture. Every call goes through the table. */
void OpenPBufferFromC(IPBuffer* pbuffer, void (*whileEnabled)(void*), void (*whileBound)(void*), void* user,
                      PBufferAnswers* answers);
/* FreeResources, then the last Release; returns what Release returned. */
int32_t ClosePBufferFromC(IPBuffer* pbuffer);

/* Asks a source for ISourceControl through its C table and drives every
 * slot: 0 when each answered as expected, else the failing step. Leaves the
 * source stopped at gain 0.5 and pitch 2. */
int CheckSourceControlFromC(ISource* source);

#ifdef __cplusplus
}
#endif
