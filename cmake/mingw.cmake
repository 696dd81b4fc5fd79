# Cross-compiles for Windows with MinGW-w64 (posix thread model: the win32 one lacks
# std::mutex in GCC 12). PELORIN_MINGW_ARCH is i686 (32-bit) or x86_64 (64-bit); the
# results run under Wine.
set(PELORIN_MINGW_ARCH "${PELORIN_MINGW_ARCH}" CACHE STRING "i686 or x86_64")
if(NOT PELORIN_MINGW_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "PELORIN_MINGW_ARCH must be i686 or x86_64, not '${PELORIN_MINGW_ARCH}'")
endif()
# try_compile projects see the same architecture.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PELORIN_MINGW_ARCH)
set(triplet ${PELORIN_MINGW_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PELORIN_MINGW_ARCH})
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
