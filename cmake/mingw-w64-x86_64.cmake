# Cross-compiles Uptorra for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour).
# The -win32 flavour lacks std::thread and std::mutex, so only -posix is accepted.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)

function(_uptorra_find_tool var name)
  find_program(${var} NAMES ${name} NO_CACHE)
  if(NOT ${var})
    message(FATAL_ERROR "MinGW tool '${name}' not found. Run tools/setup.sh (Debian package g++-mingw-w64-x86-64-posix).")
  endif()
  set(${var} "${${var}}" PARENT_SCOPE)
endfunction()

_uptorra_find_tool(_cc  ${_triple}-gcc-posix)
_uptorra_find_tool(_cxx ${_triple}-g++-posix)
_uptorra_find_tool(_rc  ${_triple}-windres)
_uptorra_find_tool(_ar  ${_triple}-gcc-ar-posix)
_uptorra_find_tool(_ranlib ${_triple}-gcc-ranlib-posix)

set(CMAKE_C_COMPILER   "${_cc}")
set(CMAKE_CXX_COMPILER "${_cxx}")
set(CMAKE_RC_COMPILER  "${_rc}")
set(CMAKE_AR "${_ar}" CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB "${_ranlib}" CACHE FILEPATH "" FORCE)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests built for Windows run under Wine, in the build folder's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh")
