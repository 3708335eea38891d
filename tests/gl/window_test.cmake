# SPDX-License-Identifier: Zlib
# Where the X server and its window manager put the window is read through Xlib.
target_link_libraries(${TARGET} PRIVATE X11)

# The screen-mode and resize cases again with a window manager framing the window.
add_test(NAME ${TARGET}_openbox
  COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-openbox $<TARGET_FILE:${TARGET}>
          --gtest_filter=GLWindowTest.ScreenModesPlaceTheWindowAsAUserSeesIt:GLWindowTest.ResizingTheFrameKeepsThePictureWhole
  WORKING_DIRECTORY ${workdir})
set_tests_properties(${TARGET}_openbox PROPERTIES LABELS gl TIMEOUT 120)
