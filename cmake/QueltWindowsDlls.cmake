# SPDX-License-Identifier: Zlib
# Copies into QUELT_DLL_DESTINATION every DLL that the binaries in
# QUELT_DLL_BINARIES import, directly or through one another, taking each
# from the first folder of QUELT_DLL_DIRS that holds it; a DLL none holds is
# Windows' own. Run at install time (cmake/QueltZip.cmake) and by
# scripts/build-windows (cmake -D... -P). Import names are matched without
# case, as Windows matches them: SDL2.dll may be imported as sdl2.dll.
# QUELT_OBJDUMP is MinGW's objdump, which lists a binary's imports; with
# QUELT_DLL_STRIP, MinGW's strip, the copies lose their debugging sections
# (the C++ runtime's are nine tenths of it).
foreach(dir ${QUELT_DLL_DIRS})
  file(GLOB offered "${dir}/*.dll")
  foreach(path ${offered})
    get_filename_component(name "${path}" NAME)
    string(TOLOWER "${name}" key)
    if(NOT DEFINED offered_${key})
      set(offered_${key} "${path}")
    endif()
  endforeach()
endforeach()

set(pending ${QUELT_DLL_BINARIES})
while(pending)
  list(POP_FRONT pending binary)
  execute_process(COMMAND "${QUELT_OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Cannot list the imports of ${binary}")
  endif()
  string(REGEX MATCHALL "\tDLL Name: [^\r\n]+" imports "${dump}")
  foreach(import ${imports})
    string(REGEX REPLACE "^\tDLL Name: " "" name "${import}")
    string(TOLOWER "${name}" key)
    if(seen_${key} OR NOT DEFINED offered_${key})
      continue()
    endif()
    set(seen_${key} ON)
    set(path "${offered_${key}}")
    list(APPEND pending "${path}")
    get_filename_component(dir "${path}" DIRECTORY)
    if(NOT dir STREQUAL QUELT_DLL_DESTINATION)
      file(INSTALL "${path}" DESTINATION "${QUELT_DLL_DESTINATION}")
      if(QUELT_DLL_STRIP)
        get_filename_component(name "${path}" NAME)
        execute_process(COMMAND "${QUELT_DLL_STRIP}" --strip-debug "$ENV{DESTDIR}${QUELT_DLL_DESTINATION}/${name}"
          COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endif()
  endforeach()
endwhile()
