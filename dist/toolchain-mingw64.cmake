# Cross-builds korvi for Windows x64 with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# Static utf8proc and libsodium and the uthash headers come from the prefix
# that dist/build-windows-x64.sh fills (KORVI_MINGW_PREFIX overrides it);
# tests run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{KORVI_MINGW_PREFIX})
  set(KORVI_MINGW_PREFIX $ENV{KORVI_MINGW_PREFIX})
else()
  get_filename_component(KORVI_MINGW_PREFIX ${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps/prefix ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${KORVI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${KORVI_MINGW_PREFIX}/lib/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
# Both dependencies are linked in statically: no dllimport for them.
set(CMAKE_C_FLAGS_INIT "-DUTF8PROC_STATIC -DSODIUM_STATIC")
set(CMAKE_CXX_FLAGS_INIT "-DUTF8PROC_STATIC -DSODIUM_STATIC")

find_program(KORVI_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KORVI_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVI_WINE64})
endif()
