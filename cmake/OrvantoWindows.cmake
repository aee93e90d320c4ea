# Windows programs and DLLs of the project, cross-built with Debian's
# MinGW-w64 compilers: the plug-in helpers run under Wine, and the tests'
# Windows plug-ins. Missing compilers leave these targets out (with a note).
find_program(ORVANTO_MINGW32_CC NAMES i686-w64-mingw32-gcc)
find_program(ORVANTO_MINGW64_CC NAMES x86_64-w64-mingw32-gcc)
foreach(bits 32 64)
  if(NOT ORVANTO_MINGW${bits}_CC)
    message(STATUS "No MinGW-w64 compiler for ${bits}-bit Windows: its plug-in helper is not built")
  endif()
endforeach()

# orvanto_add_windows_binary(<target> BITS 32|64 OUTPUT <file> SOURCES <files...>
#                            [DLL] [DEFINES <NAME...>] [DEPENDS <files...>])
# Compiles C sources into a static, self-contained Windows executable, or with
# DLL into a DLL whose WINAPI exports keep their plain names.
function(orvanto_add_windows_binary target)
  cmake_parse_arguments(W "DLL" "BITS;OUTPUT" "SOURCES;DEFINES;DEPENDS" ${ARGN})
  set(cc ${ORVANTO_MINGW${W_BITS}_CC})
  if(NOT cc)
    return()
  endif()
  set(flags -std=c11 -O2 -Wall -Wextra -Wno-unused-parameter -static -static-libgcc)
  foreach(d ${W_DEFINES})
    list(APPEND flags -D${d})
  endforeach()
  if(W_DLL)
    list(APPEND flags -shared -Wl,--kill-at)
  else()
    list(APPEND flags -mconsole)
  endif()
  set(sources "")
  foreach(s ${W_SOURCES})
    list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/${s})
  endforeach()
  get_filename_component(outdir ${W_OUTPUT} DIRECTORY)
  add_custom_command(
    OUTPUT ${W_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${cc} ${flags} -o ${W_OUTPUT} ${sources}
    DEPENDS ${sources} ${W_DEPENDS}
    COMMENT "Cross-building ${W_OUTPUT} (${W_BITS}-bit Windows)"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${W_OUTPUT})
endfunction()
