# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads).
#
#   cmake --preset windows        (or -DCMAKE_TOOLCHAIN_FILE=<this file>)
#
# Tools: x86_64-w64-mingw32-{gcc,g++}-posix and x86_64-w64-mingw32-windres
# from the packages g++-mingw-w64-x86-64-posix and binutils-mingw-w64-x86-64
# (scripts/windows-deps.sh installs them and everything below).
#
# Libraries: scripts/windows-deps.sh builds GoogleTest, libpng, libjpeg-turbo
# and libwebp as static libraries into build/mingw-deps; zlib comes from
# libz-mingw-w64-dev in the MinGW sysroot /usr/x86_64-w64-mingw32. Both are
# find roots, so the usual lookups work unchanged:
#   find_package(GTest)            -> build/mingw-deps/lib/cmake/GTest
#   find_package(ZLIB)             -> sysroot libz.a (ZLIB_USE_STATIC_LIBS, so
#                                     the import library libz.dll.a is skipped)
#   find_package(PNG), (JPEG)      -> build/mingw-deps/{include,lib}
#   find_package(WebP)             -> cmake/FindWebP.cmake (pkg-config
#                                     libwebp) or, in CONFIG mode,
#                                     build/mingw-deps/share/WebP/cmake
#   pkg_check_modules(... libwebp libpng libjpeg zlib)
#                                  -> PKG_CONFIG_LIBDIR below points pkg-config
#                                     at the two prefixes only, never at the
#                                     host's .pc files.
# Another prefix can be given with -DQV_MINGW_DEPS=<dir>.
#
# Executables run through scripts/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR),
# so CTest runs the test suites under Wine in a prefix inside the build folder.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_qv_triple x86_64-w64-mingw32)

# Names the tool and the Debian package that provides it when it is missing.
function(_qv_require_tool var program package)
  find_program(${var} ${program})
  if(NOT ${var})
    message(FATAL_ERROR
      "MinGW-w64 cross build: '${program}' was not found.\n"
      "Install the Debian package '${package}' (apt-get install ${package}) "
      "or run scripts/windows-deps.sh, which installs everything the Windows "
      "build needs.")
  endif()
endfunction()

_qv_require_tool(QV_MINGW_CC ${_qv_triple}-gcc-posix g++-mingw-w64-x86-64-posix)
_qv_require_tool(QV_MINGW_CXX ${_qv_triple}-g++-posix g++-mingw-w64-x86-64-posix)
_qv_require_tool(QV_MINGW_WINDRES ${_qv_triple}-windres binutils-mingw-w64-x86-64)

set(CMAKE_C_COMPILER ${QV_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QV_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QV_MINGW_WINDRES})

# The toolchain file is read from the source tree's cmake/ folder, so the
# default dependency prefix is found relative to it.
get_filename_component(_qv_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(QV_MINGW_DEPS "${_qv_source_dir}/build/mingw-deps" CACHE PATH
    "Prefix holding the static MinGW builds of the dependencies")
set(_qv_sysroot /usr/${_qv_triple})
get_property(_qv_in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
get_property(_qv_warned GLOBAL PROPERTY QV_MINGW_DEPS_WARNED)
if(NOT _qv_in_try_compile AND NOT _qv_warned AND NOT EXISTS "${QV_MINGW_DEPS}/lib/libgtest.a")
  message(WARNING "No MinGW builds of the dependencies in ${QV_MINGW_DEPS}; "
                  "run scripts/windows-deps.sh first.")
  set_property(GLOBAL PROPERTY QV_MINGW_DEPS_WARNED ON)
endif()

set(CMAKE_FIND_ROOT_PATH ${QV_MINGW_DEPS} ${_qv_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything is linked statically; never pick an import library.
set(ZLIB_USE_STATIC_LIBS ON)

set(ENV{PKG_CONFIG_LIBDIR}
    "${QV_MINGW_DEPS}/lib/pkgconfig:${QV_MINGW_DEPS}/share/pkgconfig:${_qv_sysroot}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_CROSSCOMPILING_EMULATOR
    "${_qv_source_dir}/scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
