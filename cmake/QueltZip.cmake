# SPDX-License-Identifier: Zlib
# `cpack -G ZIP` in a Windows build makes quelt-VERSION-win64.zip, one
# folder holding what cmake/QueltInstall.cmake installs:
#   bin/             Quelt.dll, qpak.exe, Showcase.exe and its assets, and
#                    every DLL they import that Windows does not bring
#   lib/             libQuelt.dll.a, cmake/Quelt (find_package), pkgconfig/quelt.pc
#   include/quelt/   quelt.h
#   share/doc/quelt  README, LICENSE and the HTML reference when it is built
# scripts/test-windows builds tests/consumer/cmake against the unpacked zip.

# The DLLs come from the dependency prefix (scripts/setup-windows) and the
# compiler's runtime, found through the compiler as the linker finds them.
set(quelt_dll_dirs ${QUELT_WINDOWS_DEPS}/bin)
foreach(runtime_dll libwinpthread-1.dll libstdc++-6.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime_dll}
    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(runtime_dir ${runtime_path} REALPATH)
  get_filename_component(runtime_dir ${runtime_dir} DIRECTORY)
  list(APPEND quelt_dll_dirs ${runtime_dir})
endforeach()
install(CODE "
  set(QUELT_OBJDUMP \"${CMAKE_OBJDUMP}\")
  set(QUELT_DLL_BINARIES \"$<TARGET_FILE:Quelt>;$<TARGET_FILE:qpak>;$<TARGET_FILE:Showcase>\")
  set(QUELT_DLL_DIRS \"${quelt_dll_dirs}\")
  if(CMAKE_INSTALL_DO_STRIP)
    set(QUELT_DLL_STRIP \"${CMAKE_STRIP}\")
  endif()
  set(QUELT_DLL_DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/QueltWindowsDlls.cmake\")"
  COMPONENT runtime)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelt COMPONENT dev)

set(CPACK_PACKAGE_NAME quelt)
set(CPACK_PACKAGE_VENDOR "Quelt")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME quelt-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
