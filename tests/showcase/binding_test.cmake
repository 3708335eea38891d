# SPDX-License-Identifier: Zlib
target_link_libraries(${TARGET} PRIVATE showcase_core)
# A stand-in library exporting every name but qSetUPS, each as an empty function.
set(names
  qGetHDC qKillWindow qCreateWindow qScreenMode qMsg qIsKeyPressed qGetMouseX qGetMouseY qFinishRender
  qGetTimer qInttoStr qStrtoInt qExtractName qExtractFolder qExtractEXT qCreateLog qAddToLog qSetLog
  qTimeLog qLog qClearLog qSet3D qAxis qSolidSphere qSolidCylinder qSolidBox qResetEnvMode qSetDot3Mode
  qCamera qSet2D qBitmapFont qDrawText qDeleteFont qCreateTexture2D qLoadTexture qCreateCubeMap
  qCreateNormCubeMap qSetProcAdress qStartMainLoop qStopMainLoop qGetFPS qCreatePackege qExtract
  qContent qUnpack qCreatePBuffer vec2D add2D sub2D mul2D inv2D dot2D len2D norm2D dist2D new2D vec3D
  add3D sub3D mul3D inv3D dot3D cross3D len3D norm3D dist3D rand3D signedRand3D new3D vec4D qLoadModel
  qSetConsoleFont qSetConsoleLines qConsole qConsoleCommand qConsoleVar qRenderConsole qUpdateConsole
  qConsoleEnable qConsoleDisable qClearConsole qInitOpenAL qDoneOpenAL isOpenALCreated qCreateSound
  qCreateSource qListenerPos qListenerVel qListenerOrientation qCreateFrustum)
set(stub_source "")
foreach(name ${names})
  string(APPEND stub_source "void ${name}(void) {}\n")
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/showcase_partial_quelt.c "${stub_source}")
add_library(showcase_partial_quelt MODULE ${CMAKE_CURRENT_BINARY_DIR}/showcase_partial_quelt.c)
target_compile_definitions(${TARGET} PRIVATE
  SHOWCASE_PARTIAL_LIBRARY="$<TARGET_FILE:showcase_partial_quelt>")
add_dependencies(${TARGET} showcase_partial_quelt)
